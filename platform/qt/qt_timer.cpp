#include "qt_timer.h"

namespace vq {

QtTimer::QtTimer(std::chrono::milliseconds interval) {
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5% late; the time-out is a promise to the operator.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(interval);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (m_handler) m_handler();
    });
}

void QtTimer::setEnabled(bool enabled) {
    if (enabled) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

}  // namespace vq
