#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

#include "TestService.h"
#include "app/CUpdaterDlg.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHidSystem.h"
#include "service/CurlFetch.h"
#include "ui/QtMessagePump.h"

// The main window over scripted devices, a virtual clock, Qt's own pump and a real HTTP
// service on 127.0.0.1.
class WindowFixture : public testing::Test {
 protected:
  // Runs a fresh main window modally; `whileOpen` runs once it is shown and active, and must
  // lead to its end. Returns the window's result.
  int runWindow(const std::function<void(CUpdaterDlg&)>& whileOpen,
                std::optional<transfer::BootloaderSignature> signature = std::nullopt) {
    dialog = std::make_unique<CUpdaterDlg>(UpdaterEnvironment{hid, fetch, clock, pump, service.baseUrl(), signature},
                                           state);
    QTimer::singleShot(0, dialog.get(), [this, whileOpen] {
      dialog->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
      whileOpen(*dialog);
    });
    // Guards against a window that never ends; no test relies on it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, dialog.get(), [this] {
      ADD_FAILURE() << "the window did not end";
      dialog->EndDialog(-1);
    });
    guard.start(30000);
    return dialog->DoModal();
  }

  testsupport::TestService service;
  service::CurlFetch fetch;
  fakes::FakeHidSystem hid;
  fakes::FakeClock clock;
  ui::QtMessagePump pump;
  transfer::ProcessState state;
  std::unique_ptr<CUpdaterDlg> dialog;
};
