#pragma once

#include <chrono>
#include <functional>

namespace vq {

// A one-shot timer: the reply time-out, and the wait for a quiet line before a retry.
// Switching it on starts the interval afresh; when the interval ends, the tick handler runs
// (from inside an event pump) and is expected to switch it off.
class OneShotTimer {
  public:
    static constexpr std::chrono::milliseconds kReplyTimeout{5000};

    virtual ~OneShotTimer() = default;

    // Takes effect the next time the timer is switched on.
    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual void setTickHandler(std::function<void()> handler) = 0;
};

}  // namespace vq
