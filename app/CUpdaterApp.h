#pragma once

#include "app/CUpdaterDlg.h"
#include "transfer/ProcessState.h"

class QWidget;

// The application: runs the main window modally; when the window ends, the program ends.
class CUpdaterApp {
 public:
  explicit CUpdaterApp(UpdaterEnvironment environment) : m_environment(std::move(environment)) {}

  // Returns false: there is no message loop of the application's own after the window.
  bool InitInstance();

  // The Help command (F1): what the window does and how to give the program the devices.
  static void OnHelp(QWidget* parent);
  static const char* HelpText();

  CUpdaterDlg* mainWindow() const { return m_pMainWnd; }

 private:
  UpdaterEnvironment m_environment;
  transfer::ProcessState m_state;
  CUpdaterDlg* m_pMainWnd = nullptr;
};
