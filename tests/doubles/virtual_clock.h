#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "event_pump.h"
#include "one_shot_timer.h"

namespace vq::test {

// Virtual time for the tests: scheduled actions run in time order when the pump asks for the
// next event, so a 5000 ms time-out passes in microseconds and no test ever sleeps.
class VirtualClock {
  public:
    using Ms = std::chrono::milliseconds;

    Ms now() const { return m_now; }

    // Actions at the same time run in the order they were scheduled.
    void schedule(Ms delay, std::function<void()> action) {
        m_queue.emplace(std::make_pair(m_now + delay, m_sequence++), std::move(action));
    }

    // Advances to the earliest scheduled action and runs it; false when nothing is scheduled.
    bool runNext() {
        if (m_queue.empty()) return false;
        auto node = m_queue.extract(m_queue.begin());
        m_now = node.key().first;
        node.mapped()();
        return true;
    }

    bool idle() const { return m_queue.empty(); }

  private:
    Ms m_now{0};
    std::uint64_t m_sequence = 0;
    std::map<std::pair<Ms, std::uint64_t>, std::function<void()>> m_queue;
};

class VirtualTimer : public OneShotTimer {
  public:
    using Ms = VirtualClock::Ms;
    explicit VirtualTimer(VirtualClock& clock, Ms interval = kReplyTimeout)
        : m_clock(clock), m_interval(interval) {}

    void setInterval(Ms interval) override { m_interval = interval; }
    void setEnabled(bool enabled) override {
        m_enabled = enabled;
        ++m_generation;
        if (!enabled) return;
        ++m_starts;
        const auto generation = m_generation;
        m_clock.schedule(m_interval, [this, generation] {
            if (m_enabled && generation == m_generation && m_handler) {
                ++m_ticks;
                m_handler();
            }
        });
    }
    bool enabled() const override { return m_enabled; }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

    int starts() const { return m_starts; }
    int ticks() const { return m_ticks; }

  private:
    VirtualClock& m_clock;
    Ms m_interval;
    bool m_enabled = false;
    std::uint64_t m_generation = 0;
    int m_starts = 0;
    int m_ticks = 0;
    std::function<void()> m_handler;
};

// Each pump delivers the next scheduled event, as a real pump sleeps until one arrives.
class VirtualPump : public EventPump {
  public:
    explicit VirtualPump(VirtualClock& clock) : m_clock(clock) {}
    void pumpEvents() override {
        ++m_pumps;
        m_clock.runNext();
    }
    int pumps() const { return m_pumps; }

  private:
    VirtualClock& m_clock;
    int m_pumps = 0;
};

}  // namespace vq::test
