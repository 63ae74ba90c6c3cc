#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vq::sim {

using Bytes = std::vector<std::uint8_t>;

// The radio's flash as the tool sees it: 256 KiB from 0xC0000, erased to 0xFF.
constexpr std::uint32_t kFlashBase = 0xC0000;
constexpr std::uint32_t kFlashSize = 0x40000;
constexpr std::size_t kFrameSize = 1032;
constexpr std::size_t kBlockSize = 1024;
constexpr std::size_t kLineSize = 20;

// Command: waiting for CR-terminated requests. Flash: 1032-byte frames. Text0 and Text1:
// 20-byte lines, in Text1 behind "CL~". Requests of the command set are understood in every
// mode, so a tool that connects again is answered.
enum class RadioMode { Command, Flash, Text0, Text1 };

enum class RequestKind {
    Identify,
    EnterFlash,
    EnterText0,
    EnterText1,
    PortLine,
    UnknownText,
    FlashErase,
    FlashWrite,
    FlashEnd,
    FlashUnknown,
    FlashBadChecksum,
    LineData,
    LineOk,
    LineNg,
    LineErase,
    LineEnd,
};

// A short name for logs: "identify", "flash-write", "line-data" and so on.
std::string_view RequestKindName(RequestKind kind);
// The kind of that name; nothing for a name no kind has.
std::optional<RequestKind> RequestKindNamed(std::string_view name);

enum class PinState : std::uint8_t { LowOutput = 0, HighOutput = 1, LowInput = 2, HighInput = 3 };

struct RecordedRequest {
    RequestKind kind;
    // The block of a write frame, the row's address of a data line (and of the OK line that
    // programs it); 0 otherwise.
    std::uint32_t address = 0;
    Bytes bytes;
    // What went back behind the echo, faults applied.
    Bytes answer;
    // The token that answer carried; empty when none went back or it was a read-back.
    std::string token;
};

// The radio's misbehaviours. They act on the line: the radio still does what it was asked,
// only its answer is changed, late or missing; "silent" means nothing reaches it at all.
struct RadioConfig {
    // Identification is answered "RE" instead of "OK".
    bool regionError = false;
    bool silent = false;
    // Only the first N bytes of every answer (the echo is always whole); 0 leaves the echo.
    std::optional<std::size_t> answerBytes{};
    // Every answer carries this token in place of its own, in the answer's own framing.
    std::optional<std::string> token{};
    // Answers follow their echo this much later.
    std::chrono::milliseconds late{0};
    // Requests of these kinds carry the given token in place of their own; `token` still
    // applies to the other kinds.
    std::map<RequestKind, std::string> tokenFor{};

    // The block (or text-mode row) at this address is answered with `token` for its first
    // `attempts` writes.
    struct BlockToken {
        std::uint32_t address = 0;
        std::string token;
        int attempts = 0;
    };
    std::optional<BlockToken> blockToken{};
    // Writes of the block (or row) at this address get their echo and no answer.
    std::optional<std::uint32_t> dropBlock{};
    // After this many frames and text lines the radio hears nothing more.
    std::optional<int> silentAfterFrames{};
    // The adapter is unplugged once this many bytes of frame (or line) number
    // `unplugInFrame`, counted from 1, have arrived.
    std::optional<std::size_t> unplugAfterBytes{};
    int unplugInFrame = 1;

    // With silentAfterFrames: the radio hears again once this many bytes went unheard, and
    // sends `garbageOnReturn` bytes of line noise before anything else. With garbleOnReturn
    // the first request it hears again comes back, echo and answer, with every bit inverted.
    std::optional<std::size_t> silentForBytes{};
    std::size_t garbageOnReturn = 0;
    bool garbleOnReturn = false;
    // The answer to request number `request` (every kind counts, from 1) alone follows its
    // echo `delay` later, in place of `late`.
    struct LateReply {
        int request = 0;
        std::chrono::milliseconds delay{0};
    };
    std::optional<LateReply> lateOnce{};
    // Byte number `echoFlip` (from 0) of every request goes back inverted in the echo; the
    // radio itself hears the request unchanged.
    std::optional<std::size_t> echoFlip{};
};

// What goes back on the line for the bytes fed, in order: each chunk `delay` after the
// bytes that caused it.
struct Response {
    struct Chunk {
        Bytes bytes;
        std::chrono::milliseconds delay{0};
    };
    std::vector<Chunk> chunks;
    // The line is cut after the chunks; nothing more will be heard or sent.
    bool hangUp = false;
    // An end frame was answered: the flash-mode connection is over.
    bool flashConnectionEnded = false;

    Bytes joined() const;
};

// The radio's side of the serial protocol, without a line: it is fed the bytes the tool
// writes, in chunks of any size, and returns the echo of every byte followed by the answers.
class SimulatedRadio {
  public:
    explicit SimulatedRadio(RadioConfig config = {});

    Response feed(std::span<const std::uint8_t> bytes);
    // Drops a request that was still arriving, as when the port was closed meanwhile.
    void abandonPartialRequest() { m_partial.clear(); }

    RadioMode mode() const { return m_mode; }
    const Bytes& flash() const { return m_flash; }
    std::uint8_t flashAt(std::uint32_t address) const { return m_flash.at(address - kFlashBase); }
    // Pins read as high inputs until set.
    PinState pinState(const std::string& pin) const;
    void setPinState(const std::string& pin, PinState state) { m_pins[pin] = state; }
    const std::vector<RecordedRequest>& requests() const { return m_requests; }
    bool unplugged() const { return m_unplugged; }

    RadioConfig& config() { return m_config; }

  private:
    enum class Unit { Undecided, Text, Frame, Line };
    enum class Style { None, Plain, Padded, Framed, Raw };
    struct Answer {
        Style style = Style::None;
        std::string token;
        Bytes raw;
    };

    bool deaf() const;
    Unit currentUnit() const;
    Unit settle();
    void handle(Unit unit, Bytes request, Response& response);
    Answer handleText(RecordedRequest& record);
    Answer handleFrame(RecordedRequest& record, Response& response);
    Answer handleLine(RecordedRequest& record, std::span<const std::uint8_t> line);
    Answer handlePortLine(std::string_view body);
    void respond(RecordedRequest record, Answer answer, Response& response);
    bool erase(std::uint32_t first, std::uint32_t last);
    bool program(std::uint32_t address, std::span<const std::uint8_t> data);
    static Bytes render(const Answer& answer);

    RadioConfig m_config;
    RadioMode m_mode = RadioMode::Command;
    Bytes m_flash;
    Bytes m_partial;
    std::map<std::string, PinState> m_pins;
    std::vector<RecordedRequest> m_requests;
    int m_frames = 0;
    int m_blockTokenUses = 0;
    bool m_unplugged = false;
    std::size_t m_unheard = 0;
    bool m_backFromSilence = false;
    bool m_garbling = false;

    struct PendingRow {
        std::uint32_t row;
        Bytes data;
    };
    std::optional<PendingRow> m_pendingRow;
};

}  // namespace vq::sim
