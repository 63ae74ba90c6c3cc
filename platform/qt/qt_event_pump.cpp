#include "qt_event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace vq {

void QtEventPump::pumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace vq
