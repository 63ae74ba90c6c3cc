#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fake_serial_port.h"
#include "fake_window.h"
#include "link.h"
#include "virtual_clock.h"

namespace vq::test {

using namespace std::chrono_literals;

inline Bytes ToBytes(std::string_view text) {
    return {text.begin(), text.end()};
}
inline std::string ToText(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A link on virtual time: the port, Timer1 and the pump share one clock, so a 5000 ms
// time-out passes at once and clock.now() tells when the wait ended.
class LinkTest : public ::testing::Test {
  protected:
    // The radio echoes every write at once and sends the reply `delay` later.
    void RadioAnswers(std::string reply, VirtualClock::Ms delay = 10ms) {
        port.setResponder([reply = std::move(reply), delay](FakeSerialPort& p,
                                                            std::span<const std::uint8_t> bytes) {
            p.deliver(Bytes(bytes.begin(), bytes.end()));
            if (!reply.empty()) p.deliver(reply, delay);
        });
    }

    VirtualClock clock;
    FakeSerialPort port{clock};
    VirtualTimer timer{clock};
    VirtualTimer quietTimer{clock};
    VirtualPump pump{clock};
    FakeWindow window;
    Link link{port, timer, quietTimer, pump, window};
};

}  // namespace vq::test
