// Composes the program from the real system: hidraw devices, the firmware service over HTTP,
// the system clock and Qt's event dispatch.
#include <QApplication>

#include "app/AppIcon.h"
#include "app/CUpdaterApp.h"
#include "hid/HidrawSystem.h"
#include "quorvel/BuildSettings.h"
#include "quorvel/Version.h"
#include "service/CurlFetch.h"
#include "ui/Clock.h"
#include "ui/QtMessagePump.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvel"));
  QApplication::setApplicationVersion(QString::fromLatin1(quorvel::version::kVersionText));
  QApplication::setOrganizationName(QString::fromLatin1(quorvel::version::kCompanyName));
  QApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
  QApplication::setWindowIcon(AppIcon());

  hid::HidrawSystem hid;
  service::CurlFetch fetch;
  ui::SystemClock clock;
  ui::QtMessagePump pump;
  CUpdaterApp theApp(
      UpdaterEnvironment{hid, fetch, clock, pump, quorvel::build::kServiceBaseUrl, quorvel::build::BootloaderSignature()});
  theApp.InitInstance();
  return 0;
}
