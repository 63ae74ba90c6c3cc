#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "fake_serial_port.h"

namespace vq::test {

// What the radio can be asked.
enum class Request {
    Identify,
    ConnectText0,
    ConnectText1,
    ConnectFlash,
    EraseFrame,
    WriteFrame,
    EndFrame,
    EraseLine,
    EndLine,
    DataLine,
    OkLine,
    NgLine,
    PortTest,
    Other,
};

inline void PrintTo(Request kind, std::ostream* out) {
    static constexpr const char* kNames[] = {
        "Identify",   "ConnectText0", "ConnectText1", "ConnectFlash", "EraseFrame",
        "WriteFrame", "EndFrame",     "EraseLine",    "EndLine",      "DataLine",
        "OkLine",     "NgLine",       "PortTest",     "Other"};
    *out << kNames[static_cast<int>(kind)];
}

// Plays the radio behind a FakeSerialPort: echoes every byte, then answers each whole request
// with the token set for its kind. A kind with no token set gets the echo alone, so the
// operation times out. Text-mode answers are padded to the length the tool waits for.
class FakeRadio {
  public:
    using Bytes = FakeSerialPort::Bytes;

    explicit FakeRadio(FakeSerialPort& port) {
        port.setResponder(
            [this](FakeSerialPort& p, std::span<const std::uint8_t> bytes) { Hear(p, bytes); });
    }

    // A radio that accepts everything.
    std::map<Request, std::string> answers{
        {Request::Identify, "\r\nOK\r\n"}, {Request::ConnectText0, "OK\r\n"},
        {Request::ConnectText1, "OK\r\n"}, {Request::ConnectFlash, "CT\r\n"},
        {Request::EraseFrame, "BE\r\n"},   {Request::WriteFrame, "PG\r\n"},
        {Request::EndFrame, "ED\r\n"},     {Request::EraseLine, "OK\r\n"},
        {Request::EndLine, "OK\r\n"},      {Request::OkLine, "OK\r\n"},
        {Request::NgLine, "OK\r\n"},       {Request::PortTest, "\r\nOK\r\n"},
    };
    // Whether a text-mode data line comes back unchanged.
    bool readbackIntact = true;
    // Runs when a whole request has arrived, before it is answered: inside the tool's wait.
    std::function<void(Request)> onRequest;
    // Every whole request, in order.
    std::vector<Request> heard;

    void Answer(Request kind, std::string token) { answers[kind] = std::move(token); }
    void Silence(Request kind) { answers.erase(kind); }

  private:
    static constexpr std::size_t kFrameSize = 1032;
    static constexpr std::size_t kLineSize = 20;
    static constexpr std::size_t kTextPadding = 16;

    static Request FrameKind(const Bytes& frame) {
        const std::string command(frame.begin() + 2, frame.begin() + 4);
        if (command == "BE") return Request::EraseFrame;
        if (command == "PG") return Request::WriteFrame;
        if (command == "ED") return Request::EndFrame;
        return Request::Other;
    }

    static Request LineKind(std::span<const std::uint8_t> line) {
        if (line[2] != '\r' || line[3] != '\n') return Request::DataLine;
        if (line[0] == 0x01 && line[1] == 0x01) return Request::EraseLine;
        if (line[0] == 0x00 && line[1] == 0x00) return Request::EndLine;
        if (line[0] == 'O' && line[1] == 'K') return Request::OkLine;
        if (line[0] == 'N' && line[1] == 'G') return Request::NgLine;
        return Request::DataLine;
    }

    static Request TextKind(const std::string& text) {
        if (text == "QK~VQ-K38\r") return Request::Identify;
        if (text == "QK~E\r") return Request::ConnectText0;
        if (text == "FL\r") return Request::ConnectText1;
        if (text == "QK~FLASH\r") return Request::ConnectFlash;
        if (text.starts_with("QK~P")) return Request::PortTest;
        return Request::Other;
    }

    void Hear(FakeSerialPort& port, std::span<const std::uint8_t> bytes) {
        Bytes reply(bytes.begin(), bytes.end());
        std::optional<Request> kind;
        std::span<const std::uint8_t> line;
        if (!m_frame.empty()) {
            m_frame.insert(m_frame.end(), bytes.begin(), bytes.end());
            if (m_frame.size() >= kFrameSize) {
                kind = FrameKind(m_frame);
                m_frame.clear();
            }
        } else if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
            m_frame.assign(bytes.begin(), bytes.end());
        } else if (bytes.size() == kLineSize) {
            line = bytes;
        } else if (bytes.size() == kLineSize + 3 && bytes[0] == 'C' && bytes[1] == 'L' &&
                   bytes[2] == '~') {
            line = bytes.subspan(3);
        } else {
            kind = TextKind(std::string(bytes.begin(), bytes.end()));
        }
        if (!line.empty()) kind = LineKind(line);

        if (kind) {
            heard.push_back(*kind);
            if (onRequest) onRequest(*kind);
            if (*kind == Request::DataLine) {
                Bytes readback(line.begin(), line.end());
                if (!readbackIntact) readback[2] ^= 0xFF;
                reply.insert(reply.end(), readback.begin(), readback.end());
            } else if (const auto answer = answers.find(*kind); answer != answers.end()) {
                reply.insert(reply.end(), answer->second.begin(), answer->second.end());
                if (PaddedKind(*kind)) reply.insert(reply.end(), kTextPadding, 0x20);
            }
        }
        port.deliver(std::move(reply));
    }

    static bool PaddedKind(Request kind) {
        switch (kind) {
            case Request::ConnectText0:
            case Request::ConnectText1:
            case Request::EraseLine:
            case Request::EndLine:
            case Request::OkLine:
            case Request::NgLine:
                return true;
            default:
                return false;
        }
    }

    Bytes m_frame;
};

}  // namespace vq::test
