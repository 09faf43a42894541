#include "app/CUpdaterApp.h"

bool CUpdaterApp::InitInstance() {
  CUpdaterDlg dlg(m_environment, m_state);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return false;
}
