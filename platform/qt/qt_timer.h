#pragma once

#include <QTimer>
#include <functional>

#include "one_shot_timer.h"

namespace vq {

// A single-shot QTimer; the tick runs from the event loop, so only while events are pumped.
class QtTimer : public OneShotTimer {
  public:
    explicit QtTimer(std::chrono::milliseconds interval = kReplyTimeout);
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

    void setInterval(std::chrono::milliseconds interval) override { m_timer.setInterval(interval); }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return m_timer.isActive(); }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

  private:
    QTimer m_timer;
    std::function<void()> m_handler;
};

}  // namespace vq
