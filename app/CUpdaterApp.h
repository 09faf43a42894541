#pragma once

#include "app/CUpdaterDlg.h"
#include "transfer/ProcessState.h"

// The application: runs the main window modally; when the window ends, the program ends.
class CUpdaterApp {
 public:
  explicit CUpdaterApp(UpdaterEnvironment environment) : m_environment(std::move(environment)) {}

  // Returns false: there is no message loop of the application's own after the window.
  bool InitInstance();

  CUpdaterDlg* mainWindow() const { return m_pMainWnd; }

 private:
  UpdaterEnvironment m_environment;
  transfer::ProcessState m_state;
  CUpdaterDlg* m_pMainWnd = nullptr;
};
