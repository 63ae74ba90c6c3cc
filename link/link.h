#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "event_pump.h"
#include "one_shot_timer.h"
#include "reply_codes.h"
#include "serial_port.h"
#include "window_controls.h"

namespace vq {

using Bytes = std::vector<std::uint8_t>;

// The serial link to the radio: line settings, the port bracket around every operation, one
// exchange with its time-out, and the link-level operations connect, identify and line test.
// It owns the receive buffer; the port, the timers, the pump and the window are the owner's.
class Link {
  public:
    // timer is the reply time-out Timer1; quietTimer measures how long the line has been quiet.
    Link(SerialPort& port, OneShotTimer& timer, OneShotTimer& quietTimer, EventPump& pump,
         WindowControls& window);
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Assigns the settings string of the selected speed option among 0..lastOption; when the
    // selected option lies above lastOption, the port keeps the settings it had.
    void ApplyLineSettings(int lastOption);

    void OpenPortIfClosed();
    void ClosePortIfOpen() noexcept;

    // Runs an operation's body inside the port bracket: opens the port if closed, closes it
    // afterwards, and turns any failure inside into failureCode with the port closed.
    template <class Body>
    std::int16_t InPortBracket(std::int16_t failureCode, Body&& body) noexcept {
        try {
            OpenPortIfClosed();
            const std::int16_t result = body();
            ClosePortIfOpen();
            return result;
        } catch (const std::exception&) {
            ClosePortIfOpen();
            return failureCode;
        }
    }

    // Drops bytes still waiting from an earlier exchange that timed out, so that a late reply
    // cannot shift the tokens of the next one away from the index the echo rule predicts.
    void DiscardStaleInput();

    // Discards whatever arrives until nothing has arrived for `quiet`, so that the rest of an
    // answer still on its way cannot be read as the answer to the next request. A line that
    // never goes quiet is given up on after one reply time-out.
    void AwaitQuietLine(std::chrono::milliseconds quiet);

    // Arms Timer1 and pumps events until expectedCount bytes are waiting or the timer has
    // switched itself off; then reads every waiting byte into the receive buffer. Returns the
    // count waiting when the wait ended.
    int WaitForReply(int expectedCount);

    // One exchange: discards stale input, writes the request, waits as above.
    int ExchangeRequest(std::span<const std::uint8_t> request, int expectedCount);
    int ExchangeRequest(std::string_view request, int expectedCount);

    // Timer1's tick: switches the timer off, nothing else.
    void Timer1_Timer();

    std::int16_t ConnectTarget(std::int16_t mode);
    std::int16_t IdentifyTarget();
    std::int16_t TestPortLine();

    const Bytes& ReceiveBuffer() const { return m_receiveBuffer; }
    void SetReceiveBuffer(Bytes bytes) { m_receiveBuffer = std::move(bytes); }

    SerialPort& MSComm1() { return m_port; }
    OneShotTimer& Timer1() { return m_timer; }
    EventPump& Pump() { return m_pump; }
    WindowControls& Window() { return m_window; }

  private:
    SerialPort& m_port;
    OneShotTimer& m_timer;
    OneShotTimer& m_quietTimer;
    EventPump& m_pump;
    WindowControls& m_window;
    Bytes m_receiveBuffer;
};

// The line settings string of speed option optBPS(index).
std::string LineSettingsString(int option);

// The text Text2 shows for a line test result.
std::string PortLineResultText(std::int16_t code);

}  // namespace vq
