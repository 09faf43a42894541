// The update through the real main window: the Qt pump runs the other handlers nested, device
// changes arrive on the registration's descriptor, and the window's end waits for the update.
#include <gtest/gtest.h>

#include <httplib.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "WindowFixture.h"
#include "app/CAboutDlg.h"

namespace {

const std::string kListed = "/dev/hidraw0#VID_1DD2&PID_1234#0003:1DD2:1234.0001";
const std::string kBoot = "/dev/hidraw1#VID_1DD2&PID_0001#0003:1DD2:0001.0002";

class UpdateWindowTest : public WindowFixture {
 protected:
  void SetUp() override {
    service.route(testsupport::TestService::kFirmwarePath, [this](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_param_value("req") == "1" ? statusReply : firmwareReply, "text/plain");
    });
    service.serveText("/image.bin", std::string(200, 'x'));
    fakes::FakeDeviceSetup setup;
    setup.path = kListed;
    setup.attributes = {0x1DD2, 0x1234, 0x0104};
    setup.product = u"Demo Unit";
    setup.serial = u"000123";
    hid.plug(setup);
  }

  void offer(int mode) {
    firmwareReply = std::to_string(mode) + ",7634,1,200," + service.url("/image.bin");
  }

  // Runs the window and presses the update button once it is shown; `afterUpdate` runs when the
  // update handler has returned, if the window is still running then.
  int runUpdate(const std::function<void()>& afterUpdate = {}) {
    return runWindow(
        [afterUpdate](CUpdaterDlg& dlg) {
          ASSERT_TRUE(dlg.updateButton()->isEnabled());
          dlg.updateButton()->click();
          if (afterUpdate && dlg.isRunning()) afterUpdate();
        },
        transfer::BootloaderSignature{1, 2, 3});
  }

  std::size_t reportsTo(const std::string& path) { return hid.log(path).reports.size(); }

  std::string statusReply = "105";
  std::string firmwareReply;
};

TEST_F(UpdateWindowTest, TheBootloaderArrivesThroughTheRegistrationDuringTheWait) {
  offer(1);
  clock.onSleep = [this](int tick) {
    if (tick == 3) {
      fakes::FakeDeviceSetup boot;
      boot.path = kBoot;
      hid.plug(boot, /*notify=*/true);
    }
  };
  runUpdate([this] { dialog->EndDialog(ui::IDOK); });
  EXPECT_EQ(state.arrivedPath, kBoot);
  EXPECT_EQ(reportsTo(kListed), 1U) << "the bootloader-entry report";
  EXPECT_EQ(reportsTo(kBoot), 5U) << "the image, in five chunks";
  EXPECT_EQ(clock.sleeps(), 3 + 6000) << "the bootloader wait, then the final wait (no device came back)";
  EXPECT_TRUE(state.rescanEnabled);
}

TEST_F(UpdateWindowTest, ACloseRequestDuringTheTransferAbortsItAndEndsTheWindow) {
  offer(0);
  hid.onReport = [this](const std::string&) {
    if (reportsTo(kListed) == 2) QMetaObject::invokeMethod(dialog.get(), [this] { dialog->close(); }, Qt::QueuedConnection);
  };
  const int result = runUpdate();
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_TRUE(state.abortRequested);
  EXPECT_EQ(reportsTo(kListed), 2U) << "the pump after the second chunk ran the close request";
  EXPECT_EQ(hid.openHandles(), 0);
  EXPECT_FALSE(state.rescanEnabled);
  EXPECT_FALSE(dialog->updateButton()->isEnabled());
  EXPECT_FALSE(dialog->deviceList()->isEnabled());
  EXPECT_GT(dialog->deviceList()->GetSel(0), 0);
}

TEST_F(UpdateWindowTest, EscapeDuringTheUpdateEndsTheWindowOnlyAfterTheUpdateAndKeepsItVisible) {
  offer(0);
  bool visibleAfterEscape = true;
  hid.onReport = [this, &visibleAfterEscape](const std::string&) {
    if (reportsTo(kListed) == 1) {
      QCoreApplication::postEvent(dialog.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    } else {
      visibleAfterEscape = visibleAfterEscape && dialog->isVisible();
    }
  };
  const int result = runUpdate();
  EXPECT_EQ(result, ui::IDCANCEL);
  EXPECT_FALSE(state.abortRequested) << "Escape does not stop the update";
  EXPECT_EQ(reportsTo(kListed), 5U);
  EXPECT_TRUE(visibleAfterEscape);
  EXPECT_EQ(clock.sleeps(), 6000) << "the final wait ran to its end";
  EXPECT_TRUE(state.rescanEnabled);
}

TEST_F(UpdateWindowTest, TheAboutBoxOpenedDuringTheUpdateHoldsItUntilClosed) {
  offer(0);
  std::size_t reportsWhileOpen = 0;
  hid.onReport = [this, &reportsWhileOpen](const std::string&) {
    if (reportsTo(kListed) != 1) return;
    QTimer::singleShot(0, dialog.get(), [this, &reportsWhileOpen] {
      QTimer::singleShot(0, [this, &reportsWhileOpen] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), "About");
        reportsWhileOpen = reportsTo(kListed);
        QTest::keyClick(about, Qt::Key_Escape);
      });
      dialog->SendSysCommand(16, 0);
    });
  };
  runUpdate([this] { dialog->EndDialog(ui::IDOK); });
  EXPECT_EQ(reportsWhileOpen, 1U);
  EXPECT_EQ(reportsTo(kListed), 5U);
}

TEST_F(UpdateWindowTest, DeviceChangesAreHandledOnlyWhileEventsAreDispatched) {
  runWindow([this](CUpdaterDlg& dlg) {
    service.clearRequests();
    state.arrivalSeen = false;
    state.arrivalPattern = "PID_0001";
    fakes::FakeDeviceSetup boot;
    boot.path = kBoot;
    hid.plug(boot, /*notify=*/true);
    EXPECT_FALSE(state.arrivalSeen) << "nothing happens before events are dispatched";
    EXPECT_TRUE(service.requests().empty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(state.arrivalSeen);
    EXPECT_EQ(state.arrivedPath, kBoot);
    EXPECT_EQ(service.requests().size(), 1U) << "the rescan: one status query, for the listed device alone";
    dlg.EndDialog(ui::IDOK);
  });
}

}  // namespace
