#pragma once

#include <chrono>
#include <functional>

namespace vq {

// The reply time-out timer. Switching it on starts the interval afresh; when the interval
// ends, the tick handler runs (from inside an event pump) and is expected to switch it off.
class OneShotTimer {
  public:
    static constexpr std::chrono::milliseconds kReplyTimeout{5000};

    virtual ~OneShotTimer() = default;

    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    virtual void setTickHandler(std::function<void()> handler) = 0;
};

}  // namespace vq
