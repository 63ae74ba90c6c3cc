#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "fake_serial_port.h"
#include "fake_window.h"
#include "flash_programmer.h"
#include "virtual_clock.h"

namespace vq::test {

// What the radio does with one request (a whole frame, or one text line).
struct Reply {
    std::string answer;          // behind the echo; a text-mode answer is padded to 20 bytes
    bool silent = false;         // not even the echo comes back
    std::size_t missing = 0;     // bytes held back from the end of the last write's return
    bool readBack = false;       // text modes: the answer repeats the line
    bool wrongReadBack = false;  // text modes: the line comes back with its last byte changed
    VirtualClock::Ms late{0};    // the answer comes this much after the echo
    std::string tail{};          // stray bytes 50 ms behind the answer
};

inline Reply Answer(std::string token) {
    return {std::move(token)};
}
inline Reply Silent() {
    return {"", true};
}
inline Reply Late(std::string token, VirtualClock::Ms late) {
    Reply reply{std::move(token)};
    reply.late = late;
    return reply;
}

// Plays the radio on the fake port: echoes each write a millisecond later and puts the next
// scripted reply behind the echo of the request's last write (the second half of a frame).
class ScriptedRadio {
  public:
    explicit ScriptedRadio(FakeSerialPort& port) {
        port.setResponder(
            [this](FakeSerialPort& p, std::span<const std::uint8_t> bytes) { Respond(p, bytes); });
    }

    std::deque<Reply> script;
    Reply otherwise = Silent();  // once the script is used up
    int requests = 0;

  private:
    void Respond(FakeSerialPort& port, std::span<const std::uint8_t> bytes) {
        const bool firstHalf = bytes.size() == kFrameFirstHalf;
        const bool secondHalf = bytes.size() == kFrameSize - kFrameFirstHalf;
        if (!secondHalf) {
            ++requests;
            if (script.empty()) {
                m_current = otherwise;
            } else {
                m_current = script.front();
                script.pop_front();
            }
        }
        if (m_current.silent) return;
        FakeSerialPort::Bytes back(bytes.begin(), bytes.end());
        if (firstHalf) {
            port.deliver(std::move(back));
            return;
        }
        const FakeSerialPort::Bytes answer =
            secondHalf ? FakeSerialPort::Bytes(m_current.answer.begin(), m_current.answer.end())
                       : TextAnswer(bytes);
        const VirtualClock::Ms echoed{1};
        if (m_current.late > VirtualClock::Ms{0}) {
            port.deliver(std::move(back), echoed);
            port.deliver(answer, echoed + m_current.late);
        } else {
            back.insert(back.end(), answer.begin(), answer.end());
            back.resize(back.size() - std::min(m_current.missing, back.size()));
            port.deliver(std::move(back), echoed);
        }
        if (!m_current.tail.empty()) {
            port.deliver(m_current.tail, echoed + m_current.late + VirtualClock::Ms{50});
        }
    }

    FakeSerialPort::Bytes TextAnswer(std::span<const std::uint8_t> line) const {
        if (m_current.readBack || m_current.wrongReadBack) {
            FakeSerialPort::Bytes answer(line.end() - kLineSize, line.end());
            if (m_current.wrongReadBack) answer.back() ^= 0x01;
            return answer;
        }
        FakeSerialPort::Bytes answer(m_current.answer.begin(), m_current.answer.end());
        answer.resize(kLineSize, 0x00);
        return answer;
    }

    Reply m_current;
};

// The objects an operation on the radio needs, on virtual time.
struct FlashRig {
    VirtualClock clock;
    FakeSerialPort port{clock};
    VirtualTimer timer{clock};
    VirtualTimer quietTimer{clock};
    VirtualPump pump{clock};
    FakeWindow window;
    Link link{port, timer, quietTimer, pump, window};
    MemoryImage image;
    FlashProgrammer flash{link, image};
    ScriptedRadio radio{port};

    // The whole frames sent, each made of its two writes.
    std::vector<FakeSerialPort::Bytes> Frames() const {
        std::vector<FakeSerialPort::Bytes> frames;
        for (std::size_t i = 0; i + 1 < port.writes.size(); i += 2) {
            FakeSerialPort::Bytes frame = port.writes[i];
            frame.insert(frame.end(), port.writes[i + 1].begin(), port.writes[i + 1].end());
            frames.push_back(std::move(frame));
        }
        return frames;
    }
};

inline FakeSerialPort::Bytes BytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

inline FakeSerialPort::Bytes Concat(std::initializer_list<FakeSerialPort::Bytes> parts) {
    FakeSerialPort::Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace vq::test
