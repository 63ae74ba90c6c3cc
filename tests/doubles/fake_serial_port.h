#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial_port.h"
#include "virtual_clock.h"

namespace vq::test {

// A serial port on virtual time. Bytes written go to the responder, which plays the radio
// and schedules its answer with deliver(); every opening, closing and write is recorded.
class FakeSerialPort : public SerialPort {
  public:
    using Bytes = std::vector<std::uint8_t>;
    using Responder = std::function<void(FakeSerialPort&, std::span<const std::uint8_t>)>;

    explicit FakeSerialPort(VirtualClock& clock) : m_clock(clock) {}

    // The port numbers that have a device behind them (default: all).
    void setPresentPorts(std::set<int> ports) { m_presentPorts = std::move(ports); }
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // The next n writes succeed, the one after fails; -1 never fails.
    void failOutputAfter(int n) { m_outputsBeforeFailure = n; }

    // Makes bytes arrive after a delay. Bytes that arrive while the port is closed are lost.
    void deliver(Bytes bytes, VirtualClock::Ms delay = VirtualClock::Ms{1}) {
        m_clock.schedule(delay, [this, bytes = std::move(bytes)] {
            if (m_open) m_rx.insert(m_rx.end(), bytes.begin(), bytes.end());
        });
    }
    void deliver(std::string_view text, VirtualClock::Ms delay = VirtualClock::Ms{1}) {
        deliver(Bytes(text.begin(), text.end()), delay);
    }

    void setCommPort(int port) override { m_commPort = port; }
    int commPort() const override { return m_commPort; }
    void setSettings(const std::string& settings) override {
        m_settings = settings;
        settingsAssigned.push_back(settings);
    }
    std::string settings() const override { return m_settings; }
    bool portOpen() const override { return m_open; }
    void setPortOpen(bool open) override {
        if (open == m_open) return;
        if (open) {
            if (!m_presentPorts.empty() && !m_presentPorts.count(m_commPort)) {
                throw PortFailure("no port " + std::to_string(m_commPort));
            }
            ++opens;
            openedWith.push_back({m_commPort, m_settings});
            m_rx.clear();
        } else {
            ++closes;
        }
        m_open = open;
    }
    void output(std::span<const std::uint8_t> bytes) override {
        requireOpen();
        if (m_outputsBeforeFailure == 0) throw PortFailure("write failed");
        if (m_outputsBeforeFailure > 0) --m_outputsBeforeFailure;
        writes.emplace_back(bytes.begin(), bytes.end());
        if (m_responder) m_responder(*this, bytes);
    }
    int inBufferCount() override {
        requireOpen();
        return static_cast<int>(m_rx.size());
    }
    Bytes input() override {
        requireOpen();
        Bytes taken;
        taken.swap(m_rx);
        return taken;
    }

    struct Opening {
        int port;
        std::string settings;
    };
    int opens = 0;
    int closes = 0;
    std::vector<Opening> openedWith;
    std::vector<std::string> settingsAssigned;
    std::vector<Bytes> writes;

  private:
    void requireOpen() const {
        if (!m_open) throw PortFailure("port not open");
    }

    VirtualClock& m_clock;
    Responder m_responder;
    std::set<int> m_presentPorts;
    int m_commPort = 1;
    std::string m_settings = "9600,n,8,1";
    bool m_open = false;
    int m_outputsBeforeFailure = -1;
    Bytes m_rx;
};

}  // namespace vq::test
