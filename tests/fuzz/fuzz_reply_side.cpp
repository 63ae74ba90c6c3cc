// The reply side of the link: the two classifiers on arbitrary buffers, TransferFrame and the
// operations on the radio fed arbitrary received bytes through the fake port on virtual time.
//
// Input: the first byte chooses the scenario; the rest is read front to back by it, and an
// exhausted input reads as zeros, which the radio below takes for a prompt "OK".
//
// Properties:
// - ClassifyReply and ClassifyFramedReply give the code of the token table for the bytes at
//   the offset, or throw ReplyIndexError exactly when the token does not fit in the buffer.
// - TransferFrame sends the request of its mode (a frame as 512 + 520 bytes), returns a count
//   equal to the bytes it collected, collects only bytes that arrived after it began, in the
//   order they arrived, never waits past the time-out and leaves the timer off; a mode other
//   than 0, 1 or 2 throws std::invalid_argument and sends nothing.
// - Every operation ends with the port closed and a result from its own set; a port that
//   cannot be opened sends nothing.
// - The radio keeps the order of what it sends, as a serial line does. While its answers come
//   within the time-out and the port does not fail, the operations end exactly as the answers
//   say: erase, end and each block are retried until the radio's own answer to the frame
//   accepts it, the block write reports success only when the radio accepted every used
//   block, and the text-mode write only when every used row came back unchanged and its OK
//   line was answered "OK".
// - While its answers may come after the time-out but before the retry's wait for a quiet
//   line is over, no answer is taken for a later request's: whatever an operation reports
//   as accepted, the radio's own answer to that very request accepted. Answers later still
//   carry nothing that ties them to their request, and such runs are held only to what
//   holds regardless.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fake_serial_port.h"
#include "flash_programmer.h"
#include "frames.h"
#include "fuzz_support.h"
#include "link.h"
#include "memory_image.h"
#include "reply_codes.h"
#include "virtual_clock.h"
#include "window_controls.h"

namespace vq::fuzz {
namespace {

using test::FakeSerialPort;
using test::VirtualClock;
using test::VirtualPump;
using test::VirtualTimer;
using Ms = VirtualClock::Ms;

class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool exhausted() const { return m_position >= m_size; }
    std::uint8_t Byte() { return exhausted() ? 0 : m_data[m_position++]; }
    Bytes Take(std::size_t n) {
        const std::size_t taken = std::min(n, m_size - std::min(m_position, m_size));
        Bytes bytes(m_data + m_position, m_data + m_position + taken);
        m_position += taken;
        return bytes;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

struct TokenCode {
    std::string_view token;
    std::int16_t code;
};
constexpr std::array<TokenCode, 8> kPlainTokens{{{"OK\r\n", 0},
                                                 {"NG\r\n", 1},
                                                 {"ED\r\n", 2},
                                                 {"CT\r\n", 3},
                                                 {"BE\r\n", 4},
                                                 {"PG\r\n", 5},
                                                 {"RA\r\n", 6},
                                                 {"EE\r\n", 7}}};
constexpr std::array<TokenCode, 7> kFramedTokens{{{"\r\nOK\r\n", 0},
                                                  {"\r\nNG\r\n", 1},
                                                  {"\r\nRE\r\n", 13},
                                                  {"\r\n00\r\n", 9},
                                                  {"\r\n01\r\n", 10},
                                                  {"\r\n02\r\n", 11},
                                                  {"\r\n03\r\n", 12}}};

template <std::size_t N>
std::int16_t CodeOf(const std::array<TokenCode, N>& table, std::span<const std::uint8_t> bytes) {
    for (const TokenCode& entry : table) {
        if (std::equal(bytes.begin(), bytes.end(), entry.token.begin(), entry.token.end())) {
            return entry.code;
        }
    }
    return ReplyUnknown;
}

bool Among(std::int16_t value, std::initializer_list<std::int16_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// ---- Classifiers ----

void CheckClassifiers(InputReader& input, bool framed) {
    std::size_t offset = input.Byte() % 24;
    if (input.Byte() == 0xFF) offset = SIZE_MAX - offset;  // offsets whose sum overflows
    const Bytes buffer = input.Take(64);
    const std::size_t length = framed ? 6 : 4;
    std::optional<std::int16_t> code;
    try {
        code = framed ? ClassifyFramedReply(buffer, offset) : ClassifyReply(buffer, offset);
    } catch (const ReplyIndexError&) {
    }
    const bool fits = offset <= buffer.size() && buffer.size() - offset >= length;
    VQ_FUZZ_REQUIRE(code.has_value() == fits);
    if (!code) return;
    const std::span<const std::uint8_t> token(buffer.data() + offset, length);
    VQ_FUZZ_REQUIRE(*code == (framed ? CodeOf(kFramedTokens, token) : CodeOf(kPlainTokens, token)));
}

// ---- The objects an operation needs, on virtual time ----

// The window's controls without the record of every progress text the test double keeps: a
// text-mode write shows some 16,000 of them.
class QuietWindow : public WindowControls {
  public:
    int com = 1;
    int baudOption = 2;
    int portOption = 3;
    std::string pinNumber;

    int GetCOM() const override { return com; }
    bool optBPS(int index) const override { return index == baudOption; }
    bool portAction(int index) const override { return index == portOption; }
    std::string txtPinNumber() const override { return pinNumber; }
    void setText1(const std::string&) override {}
    void setBarValue(int) override {}
};

// One image for every run, wiped after a run that stored into it: a fresh one each time would
// cost more than the run.
MemoryImage& TheImage() {
    static const std::unique_ptr<MemoryImage> image = std::make_unique<MemoryImage>();
    return *image;
}

struct Rig {
    Rig() : image(TheImage()) {}
    ~Rig() {
        if (stored) image.ClearImage();
    }
    VirtualClock clock;
    FakeSerialPort port{clock};
    VirtualTimer timer{clock};
    VirtualTimer quietTimer{clock};
    VirtualPump pump{clock};
    QuietWindow window;
    Link link{port, timer, quietTimer, pump, window};
    MemoryImage& image;
    bool stored = false;
    FlashProgrammer flash{link, image};
};

// ---- TransferFrame on bytes that arrive in arbitrary pieces at arbitrary times ----

void CheckTransfer(InputReader& input) {
    Rig rig;
    const std::int16_t modes[] = {0, 1, 2, -1, 3, 7};
    const std::int16_t mode = modes[input.Byte() % 6];
    rig.window.baudOption = input.Byte() % 4;  // 3: no speed option selected
    for (std::uint8_t& b : rig.flash.LineBuffer) b = input.Byte();
    const std::uint8_t pattern = input.Byte();
    for (std::size_t i = 0; i < kFrameSize; ++i) {
        rig.flash.FrameBuffer[i] = static_cast<std::uint8_t>(i * pattern);
    }

    // Every byte that reaches the port's input, in the order it arrives. Noted just before
    // it lands, so that no pump can read it before it is noted.
    Bytes arrived;
    auto deliver = [&](Bytes bytes, Ms delay) {
        rig.clock.schedule(delay, [&arrived, bytes] {
            arrived.insert(arrived.end(), bytes.begin(), bytes.end());
        });
        rig.port.deliver(std::move(bytes), delay);
    };

    rig.link.OpenPortIfClosed();
    // Left over from an earlier exchange: bytes already waiting, and bytes still on the way.
    deliver(input.Take(input.Byte() % 48), Ms{0});
    while (rig.clock.runNext()) {
    }
    const std::size_t arrivedBefore = arrived.size();
    Bytes onTheWay = input.Take(input.Byte() % 48);
    deliver(std::move(onTheWay), Ms{input.Byte() * 40});

    rig.port.setResponder([&](FakeSerialPort&, std::span<const std::uint8_t> written) {
        std::size_t echoed = 0;
        for (int piece = input.Byte() % 4; piece > 0; --piece) {
            const std::size_t echo =
                std::min<std::size_t>(written.size() - echoed, input.Byte() * 4u);
            Bytes bytes(written.begin() + static_cast<std::ptrdiff_t>(echoed),
                        written.begin() + static_cast<std::ptrdiff_t>(echoed + echo));
            echoed += echo;
            const Bytes extra = input.Take(input.Byte() % 8);
            bytes.insert(bytes.end(), extra.begin(), extra.end());
            deliver(std::move(bytes), Ms{input.Byte() * 25});
        }
    });

    const Ms start = rig.clock.now();
    const bool validMode = mode >= 0 && mode <= 2;
    int count = 0;
    try {
        count = rig.flash.TransferFrame(mode);
        VQ_FUZZ_REQUIRE(validMode);
    } catch (const std::invalid_argument&) {
        VQ_FUZZ_REQUIRE(!validMode);
        VQ_FUZZ_REQUIRE(rig.port.writes.empty());
        return;
    }

    const Bytes& received = rig.link.ReceiveBuffer();
    VQ_FUZZ_REQUIRE(count >= 0 && static_cast<std::size_t>(count) == received.size());
    VQ_FUZZ_REQUIRE(received.size() <= arrived.size() - arrivedBefore);
    VQ_FUZZ_REQUIRE(std::equal(received.begin(), received.end(),
                               arrived.begin() + static_cast<std::ptrdiff_t>(arrivedBefore)));
    VQ_FUZZ_REQUIRE(rig.clock.now() - start <= OneShotTimer::kReplyTimeout);
    VQ_FUZZ_REQUIRE(!rig.timer.enabled());

    const auto& writes = rig.port.writes;
    if (mode == 2) {
        const Frame& frame = rig.flash.FrameBuffer;
        VQ_FUZZ_REQUIRE(writes.size() == 2);
        VQ_FUZZ_REQUIRE(std::equal(writes[0].begin(), writes[0].end(), frame.begin(),
                                   frame.begin() + kFrameFirstHalf));
        VQ_FUZZ_REQUIRE(std::equal(writes[1].begin(), writes[1].end(),
                                   frame.begin() + kFrameFirstHalf, frame.end()));
    } else {
        Bytes line(rig.flash.LineBuffer.begin(), rig.flash.LineBuffer.end());
        if (mode == 1) line.insert(line.begin(), {'C', 'L', '~'});
        VQ_FUZZ_REQUIRE(writes.size() == 1 && writes[0] == line);
    }
}

// ---- The operations, against a radio whose every answer the input decides ----

// One request as the radio saw it: what was sent (a frame's two halves joined) and every
// byte it returned for it, echo included.
struct Request {
    Bytes sent;
    Bytes returned;
};

// When the radio's returns arrive, counted from the request's first write.
enum class Timing : std::uint8_t {
    Timely,           // well within the time-out
    BeforeQuietLine,  // possibly after the time-out, but before a retry would go out
    Any,              // up to twice the time-out
};

// Answers each request: its echo and a token, or silence, a truncated return, or arbitrary
// bytes, at the times the timing allows.
class InputRadio {
  public:
    InputRadio(Rig& rig, InputReader& input, Timing timing)
        : m_rig(rig), m_input(input), m_timing(timing) {
        rig.port.setResponder(
            [this](FakeSerialPort&, std::span<const std::uint8_t> written) { Respond(written); });
    }

    std::vector<Request> requests;

  private:
    enum class Kind { Clean, Silent, Truncated, Raw, ReadBack };
    struct Plan {
        Kind kind = Kind::Clean;
        Bytes answer;
        std::size_t missing = 0;
        Bytes raw;
        Ms firstDelay{1};
        Ms lastDelay{1};
    };

    Plan NextPlan(std::span<const std::uint8_t> written) {
        Plan plan;
        if (m_input.exhausted()) {
            // A prompt radio that says "OK": the text modes' answers fill their 20 bytes.
            const std::string_view ok = kPlainTokens[0].token;
            plan.answer.assign(ok.begin(), ok.end());
            if (written.size() != kFrameFirstHalf) plan.answer.resize(kLineSize, 0x00);
            return plan;
        }
        plan.kind = static_cast<Kind>(m_input.Byte() % 5);
        const std::uint8_t token = m_input.Byte();
        if (token < kPlainTokens.size()) {
            plan.answer.assign(kPlainTokens[token].token.begin(), kPlainTokens[token].token.end());
        } else if (token < kPlainTokens.size() + kFramedTokens.size()) {
            const auto& framed = kFramedTokens[token - kPlainTokens.size()].token;
            plan.answer.assign(framed.begin(), framed.end());
        } else {
            plan.answer = m_input.Take(4);
        }
        const Bytes extra = m_input.Take(m_input.Byte() % 24);
        plan.answer.insert(plan.answer.end(), extra.begin(), extra.end());
        if (plan.kind == Kind::ReadBack && written.size() >= kLineSize) {
            plan.answer.assign(written.end() - kLineSize, written.end());
        }
        plan.missing = 1 + m_input.Byte();
        plan.raw = m_input.Take(m_input.Byte() % 64);
        const int spread = m_timing == Timing::Timely ? 1 : 40;  // 255 ms or 10.2 s at most
        plan.firstDelay = Ms{m_input.Byte() * spread};
        plan.lastDelay = Ms{m_input.Byte() * spread};
        return plan;
    }

    void Respond(std::span<const std::uint8_t> written) {
        const bool secondHalf = m_frameOpen && written.size() == kFrameSize - kFrameFirstHalf;
        if (!secondHalf) {
            m_plan = NextPlan(written);
            requests.push_back({});
            m_requestStart = m_rig.clock.now();
        }
        Request& request = requests.back();
        request.sent.insert(request.sent.end(), written.begin(), written.end());
        m_frameOpen = written.size() == kFrameFirstHalf;

        Bytes back;
        switch (m_plan.kind) {
            case Kind::Silent:
                return;
            case Kind::Raw:
                if (secondHalf) return;
                back = m_plan.raw;
                break;
            default:
                back.assign(written.begin(), written.end());
                if (!m_frameOpen)
                    back.insert(back.end(), m_plan.answer.begin(), m_plan.answer.end());
                if (!m_frameOpen && m_plan.kind == Kind::Truncated) {
                    back.resize(back.size() - std::min(m_plan.missing, back.size()));
                }
                break;
        }
        request.returned.insert(request.returned.end(), back.begin(), back.end());
        // A serial line keeps order: nothing the radio sends overtakes what it sent before.
        const Ms now = m_rig.clock.now();
        const Ms delay = m_frameOpen || !secondHalf ? m_plan.firstDelay : m_plan.lastDelay;
        Ms arrival = now + delay;
        if (m_timing == Timing::BeforeQuietLine) {
            // The retry waits from the time-out until the line has been quiet this long.
            const Ms margin{10};
            arrival = std::min(arrival, m_requestStart + OneShotTimer::kReplyTimeout +
                                            kQuietAfterTimeOut - margin);
        }
        m_lastArrival = std::max(arrival, m_lastArrival);
        m_rig.port.deliver(std::move(back), m_lastArrival - now);
    }

    Rig& m_rig;
    InputReader& m_input;
    Timing m_timing;
    bool m_frameOpen = false;
    Plan m_plan;
    Ms m_requestStart{0};
    Ms m_lastArrival{0};
};

// The code a faithful reading of the request's return gives: the token right behind the echo,
// once the whole reply is there.
std::optional<std::int16_t> PlainCode(const Request& request, std::size_t replyLength) {
    const std::size_t at = request.sent.size();
    if (request.returned.size() < at + replyLength) return std::nullopt;
    return CodeOf(kPlainTokens, std::span(request.returned).subspan(at, 4));
}

bool SameFrame(const Request& request, const Frame& frame) {
    return std::equal(request.sent.begin(), request.sent.end(), frame.begin(), frame.end());
}

// The flash-mode requests of RepeatRequest: each attempt the same frame, within the attempts;
// a result other than 1 is the radio's own answer to the last attempt. On a timely radio the
// result is the first accepted answer.
void CheckRepeatedFrame(const std::vector<Request>& requests, std::int16_t result, int attempts,
                        std::initializer_list<std::int16_t> accepts, const Frame& frame,
                        bool timely) {
    std::int16_t firstAccepted = 1;
    std::size_t sent = 0;
    for (const Request& request : requests) {
        VQ_FUZZ_REQUIRE(sent < static_cast<std::size_t>(attempts));
        VQ_FUZZ_REQUIRE(!timely || firstAccepted == 1);
        VQ_FUZZ_REQUIRE(SameFrame(request, frame));
        ++sent;
        const auto code = PlainCode(request, 4);
        if (code && Among(*code, accepts)) firstAccepted = *code;
    }
    if (timely) VQ_FUZZ_REQUIRE(result == firstAccepted);
    if (result == 1) {
        VQ_FUZZ_REQUIRE(sent == static_cast<std::size_t>(attempts));
    } else {
        VQ_FUZZ_REQUIRE(!requests.empty() && PlainCode(requests.back(), 4) == result);
    }
}

// The frames of the used blocks the write covers, in order.
std::vector<Frame> UsedBlockFrames(const Rig& rig) {
    const std::uint32_t lastRow = IsFullRangeWord(rig.window.pinNumber) ? 0xFFFF : 0xFEFF;
    std::vector<Frame> frames;
    for (std::uint32_t first = MemoryImage::kFirstRow; first <= lastRow; first += kRowsPerBlock) {
        bool used = false;
        for (std::uint32_t row = first; row < first + kRowsPerBlock; ++row) {
            used = used || rig.image.RowUsed(row);
        }
        if (!used) continue;
        BuildBlockFrame(frames.emplace_back(), rig.image, first);
    }
    return frames;
}

// The used blocks go out in order, each up to ten times; the write goes on from a block, or
// ends in success, only once the radio's own answer to its last try accepted it. On a timely
// radio each block is tried until its own answer accepts it.
void CheckBlockWrite(const Rig& rig, const std::vector<Request>& requests, std::int16_t result,
                     bool timely) {
    std::size_t next = 0;
    for (const Frame& frame : UsedBlockFrames(rig)) {
        int tries = 0;
        bool accepted = false;
        while (next < requests.size() && SameFrame(requests[next], frame) &&
               !(timely && accepted)) {
            const auto code = PlainCode(requests[next++], 4);
            accepted = code && Among(*code, {ReplyOk, ReplyPg});
            ++tries;
        }
        VQ_FUZZ_REQUIRE(tries <= 10);
        if (result == 1 && next == requests.size()) {
            VQ_FUZZ_REQUIRE(tries == 10 && !(timely && accepted));
            return;
        }
        VQ_FUZZ_REQUIRE(accepted);
    }
    VQ_FUZZ_REQUIRE(result == 0 && next == requests.size());
}

// Success of the text-mode write needs, for every used row, its data line read back unchanged
// and the OK line behind it answered "OK".
void CheckRowWrite(const Rig& rig, const std::vector<Request>& requests, std::int16_t result) {
    if (result != 0) return;
    auto lineOf = [](const Request& request) {
        return std::span(request.sent).last(std::min(kLineSize, request.sent.size()));
    };
    std::size_t next = 0;
    for (std::uint32_t row = MemoryImage::kFirstRow; row <= 0xFEFF; ++row) {
        if (!rig.image.RowUsed(row)) continue;
        Line expected{};
        BuildDataLine(expected, rig.image, row);
        bool confirmed = false;
        for (; next + 1 < requests.size() && !confirmed; ++next) {
            const Request& data = requests[next];
            const auto line = lineOf(data);
            const std::size_t at = data.sent.size();
            const bool isRow = line.size() == kLineSize &&
                               std::equal(expected.begin(), expected.begin() + 18, line.begin());
            if (!isRow || data.returned.size() < at + kLineSize ||
                !std::equal(line.begin(), line.end(), data.returned.begin() + at)) {
                continue;
            }
            const Request& ok = requests[next + 1];
            const auto okLine = lineOf(ok);
            const std::string_view okToken = kPlainTokens[0].token;
            confirmed = okLine.size() == kLineSize &&
                        std::equal(okToken.begin(), okToken.end(), okLine.begin()) &&
                        PlainCode(ok, kLineSize) == ReplyOk;
            if (confirmed) ++next;
        }
        VQ_FUZZ_REQUIRE(confirmed);
    }
}

void CheckOperation(InputReader& input) {
    Rig rig;
    const std::uint8_t operation = input.Byte() % 8;
    const std::uint8_t flags = input.Byte();
    const Timing timing = (flags & 0x01) != 0   ? Timing::Timely
                          : (flags & 0x20) != 0 ? Timing::Any
                                                : Timing::BeforeQuietLine;
    const int failAfter = (flags & 0x02) != 0 ? input.Byte() % 24 : -1;
    rig.port.failOutputAfter(failAfter);
    rig.port.setPresentPorts({1, 2});
    rig.window.com = (flags & 0x04) != 0 ? input.Byte() % 17 : 1;
    rig.window.baudOption = input.Byte() % 4;
    rig.window.portOption = input.Byte() % 5;
    const Bytes pin = input.Take(input.Byte() % 4);
    rig.window.pinNumber =
        (flags & 0x08) != 0 ? std::string(kFullRangeWord) : std::string(pin.begin(), pin.end());
    const std::int16_t modes[] = {0, 1, 2, -1};
    const std::int16_t mode = modes[input.Byte() % 4];
    for (int stores = input.Byte() % 4; stores > 0; --stores) {
        const std::uint32_t block = input.Byte();
        const std::uint32_t row =
            MemoryImage::kFirstRow + block * kRowsPerBlock + input.Byte() % 64;
        const std::uint32_t column = input.Byte() % 16;
        rig.image.Store(row, column, input.Byte() % 0xFF);
        rig.stored = true;
    }
    InputRadio radio(rig, input, timing);

    std::int16_t result = 0;
    switch (operation) {
        case 0:
            result = rig.link.ConnectTarget(mode);
            VQ_FUZZ_REQUIRE(Among(result, {ReplyOk, ReplyCt, ReplyUnknown}));
            break;
        case 1:
            result = rig.link.IdentifyTarget();
            VQ_FUZZ_REQUIRE(Among(result, {ReplyOk, ReplyRegionError, ReplyUnknown}));
            break;
        case 2:
            result = rig.link.TestPortLine();
            VQ_FUZZ_REQUIRE(Among(result, {0, 1, 8, 9, 10, 11, 12, 13}));
            break;
        case 3:
            result = rig.flash.EraseFlash();
            VQ_FUZZ_REQUIRE(Among(result, {ReplyOk, ReplyBe, 1, -1}));
            break;
        case 4:
            result = rig.flash.WriteFlash();
            VQ_FUZZ_REQUIRE(Among(result, {0, 1, -1}));
            break;
        case 5:
            result = rig.flash.DisconnectTarget();
            VQ_FUZZ_REQUIRE(Among(result, {ReplyOk, ReplyEd, 1, -1}));
            break;
        case 6:
            result = rig.flash.SendCommandWord((flags & 0x10) != 0 ? "END" : "ERASE", mode);
            VQ_FUZZ_REQUIRE(Among(result, {ReplyOk, ReplyEd, ReplyBe, 1, -1}));
            break;
        case 7:
            result = rig.flash.WriteImage(mode);
            VQ_FUZZ_REQUIRE(Among(result, {0, 1, -1}));
            break;
    }
    VQ_FUZZ_REQUIRE(!rig.port.portOpen());
    const bool portPresent = rig.window.com == 1 || rig.window.com == 2;
    if (!portPresent) {
        VQ_FUZZ_REQUIRE(rig.port.writes.empty());
        VQ_FUZZ_REQUIRE(result == (operation <= 2 ? ReplyUnknown : -1));
        return;
    }
    const bool portFailed =
        failAfter >= 0 && rig.port.writes.size() == static_cast<std::size_t>(failAfter);
    if (portFailed || timing == Timing::Any) return;
    const bool timely = timing == Timing::Timely;

    Frame frame{};
    switch (operation) {
        case 3:
            BuildEraseFrame(frame, IsFullRangeWord(rig.window.pinNumber));
            CheckRepeatedFrame(radio.requests, result, 3, {ReplyOk, ReplyBe}, frame, timely);
            break;
        case 4:
            CheckBlockWrite(rig, radio.requests, result, timely);
            break;
        case 5:
            BuildEndFrame(frame);
            CheckRepeatedFrame(radio.requests, result, 10, {ReplyOk, ReplyEd}, frame, timely);
            break;
        case 7:
            CheckRowWrite(rig, radio.requests, result);
            break;
        default:
            break;
    }
}

}  // namespace
}  // namespace vq::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vq::fuzz;
    InputReader input(data, size);
    switch (input.Byte() % 4) {
        case 0:
            CheckClassifiers(input, false);
            break;
        case 1:
            CheckClassifiers(input, true);
            break;
        case 2:
            CheckTransfer(input);
            break;
        case 3:
            CheckOperation(input);
            break;
    }
    return 0;
}
