#include "app/AppIcon.h"

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/quorvel.png").arg(size), QSize(size, size));
  }
  return icon;
}
