#include "app/CUpdaterApp.h"

#include <QMessageBox>
#include <QShortcut>

bool CUpdaterApp::InitInstance() {
  CUpdaterDlg dlg(m_environment, m_state);
  m_pMainWnd = &dlg;
  // The application's own event table: the Help command.
  const QShortcut help(QKeySequence::HelpContents, &dlg, [&dlg] { OnHelp(&dlg); });
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return false;
}

const char* CUpdaterApp::HelpText() {
  return "Quorvel lists the attached devices of the family with their firmware version and asks the "
         "online firmware service whether a newer release exists. Devices with an update are selected; "
         "click an entry to select or deselect it, then press \"Update Firmware\". Keep the devices "
         "plugged in until the list shows them again.\n\n"
         "If a device is missing from the list, the program may not be allowed to open it. Install the "
         "udev rule 70-quorvel.rules into /etc/udev/rules.d (or the udev rules folder of your system), "
         "run \"udevadm control --reload\" and \"udevadm trigger\" as root, and plug the device in again.";
}

void CUpdaterApp::OnHelp(QWidget* parent) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Quorvel Help"), QString::fromLatin1(HelpText()),
                  QMessageBox::Ok, parent);
  box.exec();
}
