#include "link.h"

#include <array>

namespace vq {
namespace {

constexpr std::array<const char*, 3> kLineSettings{"9600,n,8,1", "38400,n,8,1", "57600,n,8,1"};

struct ModeEntry {
    std::string_view request;
    int lastOption;
    int expectedCount;
};

// Modes 0 and 1 answer the token and 16 further bytes that are not looked at; flash mode
// answers the token alone.
constexpr std::array<ModeEntry, 3> kModeEntries{{
    {"QK~E\r", 1, 25},
    {"FL\r", 1, 23},
    {"QK~FLASH\r", 2, 13},
}};

constexpr std::string_view kIdentifyRequest = "QK~VQ-K38\r";
constexpr int kFramedTokenLength = 6;
constexpr std::array<char, 4> kPortActionDigits{'0', '1', '2', '3'};

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string LineSettingsString(int option) {
    return kLineSettings.at(static_cast<std::size_t>(option));
}

Link::Link(SerialPort& port, OneShotTimer& timer, OneShotTimer& quietTimer, EventPump& pump,
           WindowControls& window)
    : m_port(port), m_timer(timer), m_quietTimer(quietTimer), m_pump(pump), m_window(window) {
    m_timer.setTickHandler([this] { Timer1_Timer(); });
    m_quietTimer.setTickHandler([this] { m_quietTimer.setEnabled(false); });
}

void Link::ApplyLineSettings(int lastOption) {
    for (int k = 0; k <= lastOption; ++k) {
        if (m_window.optBPS(k)) m_port.setSettings(LineSettingsString(k));
    }
}

void Link::OpenPortIfClosed() {
    if (!m_port.portOpen()) {
        m_port.setCommPort(m_window.GetCOM());
        m_port.setPortOpen(true);
    }
}

void Link::ClosePortIfOpen() noexcept {
    try {
        if (m_port.portOpen()) m_port.setPortOpen(false);
    } catch (const std::exception&) {
        // A port that fails even to close is as closed as it will get.
    }
}

void Link::DiscardStaleInput() {
    if (m_port.inBufferCount() > 0) m_port.input();
}

void Link::AwaitQuietLine(std::chrono::milliseconds quiet) {
    DiscardStaleInput();
    m_quietTimer.setInterval(quiet);
    m_quietTimer.setEnabled(true);
    m_timer.setEnabled(true);
    while (m_quietTimer.enabled() && m_timer.enabled()) {
        m_pump.pumpEvents();
        if (m_port.inBufferCount() > 0) {
            m_port.input();
            m_quietTimer.setEnabled(true);
        }
    }
    m_quietTimer.setEnabled(false);
    m_timer.setEnabled(false);
}

int Link::WaitForReply(int expectedCount) {
    m_timer.setEnabled(true);
    while (m_timer.enabled()) {
        m_pump.pumpEvents();
        if (m_port.inBufferCount() >= expectedCount) m_timer.setEnabled(false);
    }
    const int count = m_port.inBufferCount();
    m_receiveBuffer = m_port.input();
    return count;
}

int Link::ExchangeRequest(std::span<const std::uint8_t> request, int expectedCount) {
    DiscardStaleInput();
    m_port.output(request);
    return WaitForReply(expectedCount);
}

int Link::ExchangeRequest(std::string_view request, int expectedCount) {
    return ExchangeRequest(AsBytes(request), expectedCount);
}

void Link::Timer1_Timer() {
    m_timer.setEnabled(false);
}

std::int16_t Link::ConnectTarget(std::int16_t mode) {
    if (mode < 0 || mode > 2) return ReplyUnknown;
    const ModeEntry& entry = kModeEntries[static_cast<std::size_t>(mode)];
    ApplyLineSettings(entry.lastOption);
    return InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
        if (ExchangeRequest(entry.request, entry.expectedCount) < entry.expectedCount) {
            return ReplyUnknown;
        }
        const std::int16_t code = ClassifyReply(m_receiveBuffer, entry.request.size());
        return (code == ReplyOk || code == ReplyCt) ? code : std::int16_t{ReplyUnknown};
    });
}

std::int16_t Link::IdentifyTarget() {
    ApplyLineSettings(2);
    const int expectedCount = static_cast<int>(kIdentifyRequest.size()) + kFramedTokenLength;
    return InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
        if (ExchangeRequest(kIdentifyRequest, expectedCount) < expectedCount) return ReplyUnknown;
        const std::int16_t code = ClassifyFramedReply(m_receiveBuffer, kIdentifyRequest.size());
        return (code == ReplyOk || code == ReplyRegionError) ? code : std::int16_t{ReplyUnknown};
    });
}

std::int16_t Link::TestPortLine() {
    ApplyLineSettings(1);
    std::string request = "QK~P" + m_window.txtPinNumber();
    for (std::size_t k = 0; k < kPortActionDigits.size(); ++k) {
        if (m_window.portAction(static_cast<int>(k))) {
            request += kPortActionDigits[k];
            request += '\r';
        }
    }
    // Each character goes out as one byte; a pin text that is not plain ASCII cannot be sent
    // that way, so nothing is sent at all.
    for (const char c : request) {
        if (static_cast<unsigned char>(c) >= 0x80) return ReplyUnknown;
    }
    // The token sits right behind the echo of the request actually sent, whatever the
    // length of the pin number.
    const int tokenIndex = static_cast<int>(request.size());
    const int expectedCount = tokenIndex + kFramedTokenLength;
    return InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
        if (ExchangeRequest(request, expectedCount) < expectedCount) return ReplyUnknown;
        return ClassifyFramedReply(m_receiveBuffer, static_cast<std::size_t>(tokenIndex));
    });
}

std::string PortLineResultText(std::int16_t code) {
    switch (code) {
        case ReplyOk:
            return "OK";
        case ReplyNg:
            return "NG";
        case ReplyPinLowOutput:
            return "L出力";
        case ReplyPinHighOutput:
            return "H出力";
        case ReplyPinLowInput:
            return "L入力";
        case ReplyPinHighInput:
            return "H入力";
        default:
            return "???";
    }
}

}  // namespace vq
