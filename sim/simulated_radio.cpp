#include "simulated_radio.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>

namespace vq::sim {
namespace {

using namespace std::string_view_literals;

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
// The 16 bytes that follow the token in the text modes carry nothing.
constexpr std::size_t kPaddingSize = 16;
// A text request longer than this is noise, not a request.
constexpr std::size_t kMaxTextRequest = 64;
constexpr std::string_view kLinePrefix = "CL~";

constexpr std::uint32_t kTopOfFlash = kFlashBase + kFlashSize - 1;
constexpr std::uint32_t kTextEraseLast = 0xFEFFF;

// An erase entry names the highest even address of its range.
struct EraseRange {
    std::uint32_t entry;
    std::uint32_t first;
    std::uint32_t last;
};
constexpr std::array<EraseRange, 9> kEraseRanges{{
    {0xFEFFE, 0xFE000, 0xFEFFF},
    {0xFDFFE, 0xFC000, 0xFDFFF},
    {0xFBFFE, 0xFA000, 0xFBFFF},
    {0xF9FFE, 0xF8000, 0xF9FFF},
    {0xF7FFE, 0xF0000, 0xF7FFF},
    {0xEFFFE, 0xE0000, 0xEFFFF},
    {0xDFFFE, 0xD0000, 0xDFFFF},
    {0xCFFFE, 0xC0000, 0xCFFFF},
    {0xFFFFE, 0xFF000, 0xFFFFF},
}};
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
    return bytes.size() >= text.size() &&
           std::equal(text.begin(), text.end(), bytes.begin(),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

bool IsLineStart(std::uint8_t first) {
    // END and ERASE lines, the OK and NG lines, and data lines of rows 0xC000 and above.
    return first == 0x00 || first == 0x01 || first == 'O' || first == 'N' || first >= 0xC0;
}

bool IsTextByte(std::uint8_t b) {
    return b == kCr || (b >= 0x20 && b <= 0x7E);
}

// A fixed pseudo-random run, so that a test sees the same noise every time.
Bytes Noise(std::size_t count) {
    Bytes noise(count);
    std::uint32_t state = 0x2545F491;
    for (std::uint8_t& b : noise) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return noise;
}

std::uint32_t BigEndian(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), std::uint32_t{0},
                           [](std::uint32_t value, std::uint8_t b) { return (value << 8) | b; });
}

}  // namespace

std::string_view RequestKindName(RequestKind kind) {
    switch (kind) {
        case RequestKind::Identify:
            return "identify";
        case RequestKind::EnterFlash:
            return "connect-flash";
        case RequestKind::EnterText0:
            return "connect-text0";
        case RequestKind::EnterText1:
            return "connect-text1";
        case RequestKind::PortLine:
            return "port-line";
        case RequestKind::UnknownText:
            return "unknown-text";
        case RequestKind::FlashErase:
            return "flash-erase";
        case RequestKind::FlashWrite:
            return "flash-write";
        case RequestKind::FlashEnd:
            return "flash-end";
        case RequestKind::FlashUnknown:
            return "flash-unknown";
        case RequestKind::FlashBadChecksum:
            return "flash-bad-checksum";
        case RequestKind::LineData:
            return "line-data";
        case RequestKind::LineOk:
            return "line-ok";
        case RequestKind::LineNg:
            return "line-ng";
        case RequestKind::LineErase:
            return "line-erase";
        case RequestKind::LineEnd:
            return "line-end";
    }
    return "?";
}

std::optional<RequestKind> RequestKindNamed(std::string_view name) {
    for (int k = 0; k <= static_cast<int>(RequestKind::LineEnd); ++k) {
        const auto kind = static_cast<RequestKind>(k);
        if (RequestKindName(kind) == name) return kind;
    }
    return std::nullopt;
}

Bytes Response::joined() const {
    Bytes all;
    for (const auto& chunk : chunks) all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
    return all;
}

SimulatedRadio::SimulatedRadio(RadioConfig config)
    : m_config(std::move(config)), m_flash(kFlashSize, 0xFF) {}

PinState SimulatedRadio::pinState(const std::string& pin) const {
    const auto found = m_pins.find(pin);
    return found == m_pins.end() ? PinState::HighInput : found->second;
}

bool SimulatedRadio::deaf() const {
    if (m_unplugged || m_config.silent) return true;
    if (!m_config.silentAfterFrames || m_frames < *m_config.silentAfterFrames) return false;
    return !m_config.silentForBytes || m_unheard < *m_config.silentForBytes;
}

SimulatedRadio::Unit SimulatedRadio::currentUnit() const {
    if (m_partial.empty()) return Unit::Undecided;
    switch (m_mode) {
        case RadioMode::Flash:
            return m_partial[0] == 0xFF ? Unit::Frame : Unit::Text;
        case RadioMode::Text0:
            return IsLineStart(m_partial[0]) ? Unit::Line : Unit::Text;
        case RadioMode::Text1: {
            const std::size_t n = std::min(m_partial.size(), kLinePrefix.size());
            if (!StartsWith(m_partial, kLinePrefix.substr(0, n))) return Unit::Text;
            return n == kLinePrefix.size() ? Unit::Line : Unit::Undecided;
        }
        case RadioMode::Command:
            return Unit::Text;
    }
    return Unit::Text;
}

// Drops line noise so that the next request is still recognised: a frame starts with
// 0xFF 0xFE, and a text request holds printable characters up to its CR.
SimulatedRadio::Unit SimulatedRadio::settle() {
    while (true) {
        const Unit unit = currentUnit();
        if (unit == Unit::Frame && m_partial.size() >= 2 && m_partial[1] != 0xFE) {
            m_partial.erase(m_partial.begin());
            continue;
        }
        if (unit == Unit::Text && !IsTextByte(m_partial.back())) {
            if (m_partial.size() > 1) {
                m_partial.erase(m_partial.begin(), m_partial.end() - 1);
                continue;
            }
            m_partial.clear();
            return Unit::Undecided;
        }
        return unit;
    }
}

Response SimulatedRadio::feed(std::span<const std::uint8_t> bytes) {
    Response response;
    Bytes echo;
    const auto flushEcho = [&] {
        if (!echo.empty()) response.chunks.push_back({std::move(echo), {}});
        echo.clear();
    };

    for (const std::uint8_t b : bytes) {
        if (deaf()) {
            ++m_unheard;
            continue;
        }
        if (m_unheard > 0 && !m_backFromSilence) {
            m_backFromSilence = true;
            m_garbling = m_config.garbleOnReturn;
            flushEcho();
            if (m_config.garbageOnReturn > 0)
                response.chunks.push_back({Noise(m_config.garbageOnReturn), {}});
        }
        echo.push_back(m_garbling ? static_cast<std::uint8_t>(~b) : b);
        m_partial.push_back(b);
        if (m_config.echoFlip && m_partial.size() == *m_config.echoFlip + 1) echo.back() ^= 0xFF;
        const Unit unit = settle();

        const bool inFrame = unit == Unit::Frame || unit == Unit::Line;
        if (m_config.unplugAfterBytes && inFrame && m_frames + 1 == m_config.unplugInFrame &&
            m_partial.size() >= *m_config.unplugAfterBytes) {
            m_unplugged = true;
            flushEcho();
            response.hangUp = true;
            return response;
        }

        bool complete = false;
        switch (unit) {
            case Unit::Frame:
                complete = m_partial.size() == kFrameSize;
                break;
            case Unit::Line:
                complete = m_partial.size() ==
                           kLineSize + (m_mode == RadioMode::Text1 ? kLinePrefix.size() : 0);
                break;
            case Unit::Text:
                complete = b == kCr || m_partial.size() >= kMaxTextRequest;
                break;
            case Unit::Undecided:
                break;
        }
        if (!complete) continue;

        flushEcho();
        Bytes request;
        request.swap(m_partial);
        handle(unit, std::move(request), response);
    }
    flushEcho();
    return response;
}

void SimulatedRadio::handle(Unit unit, Bytes request, Response& response) {
    RecordedRequest record{RequestKind::UnknownText, 0, std::move(request), {}, {}};
    Answer answer;
    switch (unit) {
        case Unit::Text:
            answer = handleText(record);
            break;
        case Unit::Frame:
            ++m_frames;
            answer = handleFrame(record, response);
            break;
        case Unit::Line: {
            ++m_frames;
            const std::size_t skip = m_mode == RadioMode::Text1 ? kLinePrefix.size() : 0;
            const Bytes line(record.bytes.begin() + static_cast<std::ptrdiff_t>(skip),
                             record.bytes.end());
            answer = handleLine(record, line);
            break;
        }
        case Unit::Undecided:
            return;
    }
    respond(std::move(record), std::move(answer), response);
}

SimulatedRadio::Answer SimulatedRadio::handleText(RecordedRequest& record) {
    const std::string text(record.bytes.begin(), record.bytes.end());
    if (text == "QK~VQ-K38\r") {
        record.kind = RequestKind::Identify;
        return {Style::Framed, m_config.regionError ? "RE" : "OK", {}};
    }
    if (text == "QK~FLASH\r") {
        record.kind = RequestKind::EnterFlash;
        m_mode = RadioMode::Flash;
        return {Style::Plain, "CT", {}};
    }
    if (text == "QK~E\r" || text == "FL\r") {
        const bool prefixed = text == "FL\r";
        record.kind = prefixed ? RequestKind::EnterText1 : RequestKind::EnterText0;
        m_mode = prefixed ? RadioMode::Text1 : RadioMode::Text0;
        m_pendingRow.reset();
        return {Style::Padded, "OK", {}};
    }
    if (text.starts_with("QK~P") && text.back() == '\r') {
        record.kind = RequestKind::PortLine;
        return handlePortLine(std::string_view(text).substr(4, text.size() - 5));
    }
    record.kind = RequestKind::UnknownText;
    return {};
}

SimulatedRadio::Answer SimulatedRadio::handlePortLine(std::string_view body) {
    const Answer refused{Style::Framed, "NG", {}};
    if (body.empty()) return refused;
    const char action = body.back();
    const std::string pin(body.substr(0, body.size() - 1));
    const bool pinValid =
        !pin.empty() && pin.size() <= 3 &&
        std::all_of(pin.begin(), pin.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!pinValid || action < '0' || action > '3') return refused;

    switch (action) {
        case '0':
            setPinState(pin, PinState::LowOutput);
            break;
        case '1':
            setPinState(pin, PinState::HighOutput);
            break;
        case '2': {
            // An output turned into an input reads the pull-up.
            const PinState now = pinState(pin);
            if (now == PinState::LowOutput || now == PinState::HighOutput) {
                setPinState(pin, PinState::HighInput);
            }
            break;
        }
        default: {
            const auto state = static_cast<int>(pinState(pin));
            return {Style::Framed, std::string{'0', static_cast<char>('0' + state)}, {}};
        }
    }
    return {Style::Framed, "OK", {}};
}

SimulatedRadio::Answer SimulatedRadio::handleFrame(RecordedRequest& record, Response& response) {
    const std::span<const std::uint8_t> frame = record.bytes;
    const std::string command{static_cast<char>(frame[2]), static_cast<char>(frame[3])};
    if (command == "PG") record.address = BigEndian(frame.subspan(4, 3));

    const unsigned sum = std::accumulate(frame.begin() + 2, frame.begin() + kFrameSize - 1, 0u);
    if (static_cast<std::uint8_t>(sum) != frame[kFrameSize - 1]) {
        record.kind = RequestKind::FlashBadChecksum;
        return {Style::Plain, "NG", {}};
    }

    if (command == "BE") {
        record.kind = RequestKind::FlashErase;
        // Check every entry before erasing anything: a frame with a bad entry erases nothing.
        std::vector<const EraseRange*> ranges;
        for (std::size_t offset = 4; offset + 4 < kFrameSize; offset += 4) {
            const std::uint32_t entry = BigEndian(frame.subspan(offset, 4));
            if (entry == kNoEntry) continue;
            const auto range = std::find_if(kEraseRanges.begin(), kEraseRanges.end(),
                                            [&](const EraseRange& r) { return r.entry == entry; });
            if (range == kEraseRanges.end()) return {Style::Plain, "NG", {}};
            ranges.push_back(&*range);
        }
        for (const EraseRange* range : ranges) erase(range->first, range->last);
        return {Style::Plain, "BE", {}};
    }
    if (command == "PG") {
        record.kind = RequestKind::FlashWrite;
        const bool programmed = program(record.address, frame.subspan(7, kBlockSize));
        return {Style::Plain, programmed ? "PG" : "NG", {}};
    }
    if (command == "ED") {
        record.kind = RequestKind::FlashEnd;
        m_mode = RadioMode::Command;
        response.flashConnectionEnded = true;
        return {Style::Plain, "ED", {}};
    }
    record.kind = RequestKind::FlashUnknown;
    return {Style::Plain, "NG", {}};
}

SimulatedRadio::Answer SimulatedRadio::handleLine(RecordedRequest& record,
                                                  std::span<const std::uint8_t> line) {
    const Answer ok{Style::Padded, "OK", {}};
    if (StartsWith(line, "OK\r\n")) {
        record.kind = RequestKind::LineOk;
        if (!m_pendingRow) return ok;
        const PendingRow row = *std::exchange(m_pendingRow, std::nullopt);
        record.address = row.row * 16;
        return program(record.address, row.data) ? ok : Answer{Style::Padded, "NG", {}};
    }
    if (StartsWith(line, "NG\r\n")) {
        record.kind = RequestKind::LineNg;
        m_pendingRow.reset();
        return ok;
    }
    if (StartsWith(line, "\x01\x01\r\n"sv)) {
        record.kind = RequestKind::LineErase;
        erase(kFlashBase, kTextEraseLast);
        return ok;
    }
    if (StartsWith(line, "\x00\x00\r\n"sv)) {
        record.kind = RequestKind::LineEnd;
        m_mode = RadioMode::Command;
        m_pendingRow.reset();
        return ok;
    }
    record.kind = RequestKind::LineData;
    const std::uint32_t row = BigEndian(line.subspan(0, 2));
    record.address = row * 16;
    m_pendingRow = PendingRow{row, Bytes(line.begin() + 2, line.begin() + 18)};
    // The read-back: the line as received, without the prefix.
    return {Style::Raw, {}, Bytes(line.begin(), line.end())};
}

void SimulatedRadio::respond(RecordedRequest record, Answer answer, Response& response) {
    const auto withToken = [](Answer a, const std::string& token) {
        if (a.style == Style::None) return a;
        if (a.style == Style::Raw) a.style = Style::Padded;
        a.token = token;
        return a;
    };
    const bool isWrite =
        record.kind == RequestKind::FlashWrite || record.kind == RequestKind::LineData;
    const auto& blockToken = m_config.blockToken;
    if (isWrite && blockToken && record.address == blockToken->address &&
        m_blockTokenUses < blockToken->attempts) {
        ++m_blockTokenUses;
        answer = withToken(std::move(answer), blockToken->token);
    } else if (const auto kindToken = m_config.tokenFor.find(record.kind);
               kindToken != m_config.tokenFor.end()) {
        answer = withToken(std::move(answer), kindToken->second);
    } else if (m_config.token) {
        answer = withToken(std::move(answer), *m_config.token);
    }
    if (isWrite && m_config.dropBlock && record.address == *m_config.dropBlock) answer = {};

    Bytes out = render(answer);
    if (m_config.answerBytes && out.size() > *m_config.answerBytes)
        out.resize(*m_config.answerBytes);
    const bool garbled = std::exchange(m_garbling, false);
    if (garbled) {
        for (std::uint8_t& b : out) b = static_cast<std::uint8_t>(~b);
    }
    record.answer = out;
    const bool plainToken = answer.style != Style::None && answer.style != Style::Raw;
    if (plainToken && !garbled) record.token = answer.token;
    const int number = static_cast<int>(m_requests.size()) + 1;
    const bool lateOnce = m_config.lateOnce && m_config.lateOnce->request == number;
    const auto delay = lateOnce ? m_config.lateOnce->delay : m_config.late;
    if (!out.empty()) response.chunks.push_back({std::move(out), delay});
    m_requests.push_back(std::move(record));
}

Bytes SimulatedRadio::render(const Answer& answer) {
    // Built as text and copied once: inserting string views into the byte vector piece by
    // piece trips a false stringop-overflow warning of GCC 12 at -O3.
    std::string text;
    switch (answer.style) {
        case Style::None:
            break;
        case Style::Plain:
            text = answer.token + "\r\n";
            break;
        case Style::Padded:
            text = answer.token + "\r\n" + std::string(kPaddingSize, '\0');
            break;
        case Style::Framed:
            text = "\r\n" + answer.token + "\r\n";
            break;
        case Style::Raw:
            return answer.raw;
    }
    return Bytes(text.begin(), text.end());
}

bool SimulatedRadio::erase(std::uint32_t first, std::uint32_t last) {
    if (first < kFlashBase || last > kTopOfFlash || first > last) return false;
    std::fill(m_flash.begin() + (first - kFlashBase), m_flash.begin() + (last - kFlashBase) + 1,
              0xFF);
    return true;
}

// NOR flash: programming only clears bits. Data that needs a 0 turned back into a 1 is
// refused as a whole and the flash is left as it was.
bool SimulatedRadio::program(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (address < kFlashBase || address + data.size() - 1 > kTopOfFlash ||
        (data.size() == kBlockSize && address % kBlockSize != 0)) {
        return false;
    }
    const auto target = m_flash.begin() + (address - kFlashBase);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if ((data[i] & ~target[static_cast<std::ptrdiff_t>(i)]) != 0) return false;
    }
    std::copy(data.begin(), data.end(), target);
    return true;
}

}  // namespace vq::sim
