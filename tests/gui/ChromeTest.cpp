// The window chrome: system commands, the About box and the minimised window's icon position.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "WindowFixture.h"
#include "app/CAboutDlg.h"
#include "app/CUpdaterApp.h"

namespace {

TEST(IconPosition, CentresSignedAndTruncatesTowardZero) {
  struct Case {
    int width, height, x, y;
  };
  const Case cases[] = {{0, 0, -15, -15}, {100, 50, 34, 9}, {33, 31, 1, 0}, {30, 29, 0, -1}, {-10, 64, -20, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    EXPECT_EQ(IconPosition(c.width, c.height, 32, 32), QPoint(c.x, c.y));
  }
}

// Runs `action` and reports whether an About box was opened by it; closes the box if so.
bool opensAboutBox(const std::function<void()>& action) {
  bool opened = false;
  QTimer::singleShot(0, [&opened] {
    if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
      opened = true;
      about->EndDialog(ui::IDOK);
    }
  });
  action();
  QCoreApplication::processEvents();
  return opened;
}

using ChromeTest = WindowFixture;

TEST_F(ChromeTest, SystemCommandsFrom16To31OpenTheAboutBox) {
  runWindow([this](CUpdaterDlg& dlg) {
    struct Case {
      std::uint32_t command;
      bool opens;
    };
    for (const Case c : {Case{16, true}, Case{17, true}, Case{31, true}, Case{32, false}, Case{15, false},
                         Case{0xF010, false}}) {
      SCOPED_TRACE(c.command);
      EXPECT_EQ(opensAboutBox([&] { dlg.SendSysCommand(c.command, 0); }), c.opens);
      EXPECT_TRUE(dlg.isRunning());
    }
    EXPECT_FALSE(state.abortRequested);
    // Close is the close request.
    EXPECT_FALSE(opensAboutBox([&] { dlg.SendSysCommand(ui::SC_CLOSE, 0); }));
    EXPECT_TRUE(state.abortRequested);
  });
}

TEST_F(ChromeTest, TheWindowMenuChoiceOpensTheAboutBox) {
  runWindow([](CUpdaterDlg& dlg) {
    const auto& entries = dlg.GetSystemMenu()->entries();
    EXPECT_TRUE(opensAboutBox([&] { dlg.SendSysCommand(entries.back().command, 0); }));
    dlg.EndDialog(ui::IDOK);
  });
}

TEST_F(ChromeTest, F1ShowsTheHelp) {
  CUpdaterApp app(UpdaterEnvironment{hid, fetch, clock, pump, service.baseUrl(), std::nullopt});
  QString shown;
  QTimer::singleShot(0, [&] {
    CUpdaterDlg* window = app.mainWindow();
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->accept();
      }
    });
    QTest::keyClick(window, Qt::Key_F1);
    window->EndDialog(ui::IDOK);
  });
  EXPECT_FALSE(app.InitInstance());
  EXPECT_TRUE(shown.contains("Update Firmware"));
  EXPECT_TRUE(shown.contains("70-quorvel.rules"));
}

TEST(AboutBox, ShowsTheReleaseAndEndsByEachOfItsWays) {
  struct Case {
    const char* name;
    std::function<void(CAboutDlg&)> end;
    int result;
  };
  const Case cases[] = {
      {"OK button", [](CAboutDlg& box) { box.findChild<QPushButton*>()->click(); }, ui::IDOK},
      {"Enter", [](CAboutDlg& box) { QTest::keyClick(&box, Qt::Key_Return); }, ui::IDOK},
      {"Escape", [](CAboutDlg& box) { QTest::keyClick(&box, Qt::Key_Escape); }, ui::IDCANCEL},
      {"close box", [](CAboutDlg& box) { box.close(); }, ui::IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CAboutDlg box;
    QStringList texts;
    QTimer::singleShot(0, &box, [&] {
      for (const QLabel* label : box.findChildren<QLabel*>()) texts << label->text();
      EXPECT_TRUE(box.findChild<QPushButton*>()->isDefault());
      c.end(box);
    });
    EXPECT_EQ(box.DoModal(), c.result);
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_TRUE(texts.contains("Quorvel v1.02"));
    EXPECT_FALSE(box.isVisible());
  }
}

}  // namespace
