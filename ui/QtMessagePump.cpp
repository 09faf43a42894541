#include "ui/QtMessagePump.h"

#include <QCoreApplication>

namespace ui {

void QtMessagePump::PumpPendingMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace ui
