// The main window under the offscreen platform: first scan, selection rule, keyboard and close.
#include <gtest/gtest.h>

#include <httplib.h>

#include <map>

#include "WindowFixture.h"

namespace {

class MainWindowTest : public WindowFixture {
 protected:
  void SetUp() override {
    service.route(testsupport::TestService::kFirmwarePath, [this](const httplib::Request& req, httplib::Response& res) {
      const auto it = replies.find(req.get_param_value("sn"));
      res.set_content(it == replies.end() ? std::string() : it->second, "text/plain");
    });
  }

  void plug(const std::string& serial, const std::string& reply) {
    fakes::FakeDeviceSetup setup;
    setup.path = "/dev/hidraw-" + serial + "#VID_1DD2&PID_1234#0003:1DD2:1234.0001";
    setup.attributes = {0x1DD2, 0x1234, 0x0104};
    setup.product = u"Demo Unit";
    setup.serial = std::u16string(serial.begin(), serial.end());
    hid.plug(setup);
    replies[serial] = reply;
  }

  void click(ui::CListBox& list, int index) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualItemRect(list.item(index)).center());
  }

  std::map<std::string, std::string> replies;
};

TEST_F(MainWindowTest, WithoutDevicesTheListIsEmptyAndTheButtonDisabled) {
  const int result = runWindow([](CUpdaterDlg& dlg) {
    EXPECT_EQ(dlg.windowTitle(), "Quorvel");
    EXPECT_EQ(dlg.deviceList()->GetCount(), 0);
    EXPECT_FALSE(dlg.updateButton()->isEnabled());
    dlg.EndDialog(ui::IDOK);
  });
  EXPECT_EQ(result, ui::IDOK);
  EXPECT_TRUE(state.rescanEnabled);
  EXPECT_EQ(hid.registrations(), 1);
}

TEST_F(MainWindowTest, TheButtonIsEnabledExactlyWhenTheFirstScanCountsAnUpdate) {
  for (const bool updatable : {false, true}) {
    SCOPED_TRACE(updatable);
    plug("000123", updatable ? "105" : "104,0,");
    runWindow([&](CUpdaterDlg& dlg) {
      EXPECT_EQ(dlg.updateButton()->isEnabled(), updatable);
      EXPECT_EQ(dlg.deviceList()->GetSelCount(), updatable ? 1 : 0);
      if (updatable) {
        EXPECT_TRUE(dlg.updateButton()->hasFocus()) << "the enabled button takes the first focus";
      }
      dlg.EndDialog(ui::IDOK);
    });
  }
}

TEST_F(MainWindowTest, TheSelectionRuleDeselectsEntriesWithoutFirmwareAndSetsTheButton) {
  plug("A-updatable", "105");
  plug("B-no-firmware", "");
  plug("C-current", "104,0,");
  runWindow([&](CUpdaterDlg& dlg) {
    ui::CListBox& list = *dlg.deviceList();
    ASSERT_EQ(list.GetCount(), 3);
    ASSERT_GT(list.GetSel(0), 0);

    click(list, 1);  // no online firmware: selected for a moment only
    EXPECT_EQ(list.GetSel(1), 0);
    EXPECT_TRUE(dlg.updateButton()->isEnabled());

    click(list, 0);  // the last selected entry
    EXPECT_EQ(list.GetSelCount(), 0);
    EXPECT_FALSE(dlg.updateButton()->isEnabled());

    click(list, 2);  // selectable although current
    EXPECT_GT(list.GetSel(2), 0);
    EXPECT_TRUE(dlg.updateButton()->isEnabled());
    dlg.EndDialog(ui::IDOK);
  });
}

TEST_F(MainWindowTest, EnterInTheListEndsTheWindowWhateverTheButton) {
  for (const bool updatable : {false, true}) {
    SCOPED_TRACE(updatable);
    plug("000123", updatable ? "105" : "");
    service.clearRequests();
    const int result = runWindow([](CUpdaterDlg& dlg) {
      dlg.deviceList()->setFocus();
      QTest::keyClick(dlg.deviceList(), Qt::Key_Return);
    });
    EXPECT_EQ(result, ui::IDOK);
    EXPECT_FALSE(state.abortRequested);
    EXPECT_EQ(service.requests().size(), 1U) << "the first scan's status query alone: no update started";
  }
}

TEST_F(MainWindowTest, EnterOnTheFocusedButtonStartsTheUpdate) {
  plug("000123", "105");
  const int result = runWindow([&](CUpdaterDlg& dlg) {
    ASSERT_TRUE(dlg.updateButton()->hasFocus());
    QTest::keyClick(dlg.updateButton(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isRunning()) << "the window goes on after the update";
    dlg.EndDialog(ui::IDOK);
  });
  EXPECT_EQ(result, ui::IDOK);
  const std::vector<std::string> requests = service.requests();
  ASSERT_EQ(requests.size(), 3U) << "status query, firmware query, status query of the final rescan";
  EXPECT_EQ(requests[1], "/scripts/firmware.php?vid=1dd2&pid=1234&req=2");
}

TEST_F(MainWindowTest, EscapeEndsTheWindowWithoutTheCloseRequest) {
  const int result = runWindow([](CUpdaterDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); });
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_FALSE(state.abortRequested);
  EXPECT_NE(state.hidNotifyHandle, nullptr) << "the registration is not released";
}

TEST_F(MainWindowTest, TheCloseRequestSetsTheAbortFlagAndReleasesTheRegistration) {
  const int result = runWindow([](CUpdaterDlg& dlg) { dlg.close(); });
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_TRUE(state.abortRequested);
  EXPECT_EQ(state.hidNotifyHandle, nullptr);
  EXPECT_FALSE(hid.registered());
}

TEST_F(MainWindowTest, TheWindowMenuEndsWithTheAboutEntryAfterASeparator) {
  runWindow([](CUpdaterDlg& dlg) {
    const auto& entries = dlg.GetSystemMenu()->entries();
    ASSERT_GE(entries.size(), 2U);
    EXPECT_TRUE(entries[entries.size() - 2].separator);
    EXPECT_EQ(entries.back().command, 16U);
    EXPECT_EQ(entries.back().text, "&About...");
    dlg.EndDialog(ui::IDOK);
  });
}

}  // namespace
