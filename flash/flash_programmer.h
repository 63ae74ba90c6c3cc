#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "frames.h"
#include "link.h"
#include "memory_image.h"

namespace vq {

// Why one attempt of an operation did not end it.
enum class AttemptFailure : std::uint8_t {
    ShortReply,        // fewer bytes than expected before the time-out
    Rejected,          // a whole reply whose token the operation does not accept
    ReadbackMismatch,  // a text-mode data line that did not come back unchanged
};

struct AttemptRecord {
    AttemptFailure cause;
    int attempt;   // 1-based
    int attempts;  // the operation's limit
    int expected;
    int received;
    std::int16_t code;  // the token read when the reply was whole, else ReplyUnknown
};

// What a front end may show while an operation runs. Address is the start address of the
// block (flash mode) or row (text modes) in hand; 0 for erase, end and the command words.
struct FlashEvent {
    enum class Kind : std::uint8_t { UnitStarted, UnitFinished, AttemptFailed };
    Kind kind;
    std::uint32_t address;
    int unitsDone;
    int unitsToWrite;
    AttemptRecord attempt;  // meaningful for AttemptFailed only
};

// How long the line must stay quiet before a retry. After a time-out the radio may still be
// answering the request that timed out; after a refused or garbled reply only the tail of
// what put the reply out of step can still be on its way.
inline constexpr std::chrono::milliseconds kQuietAfterTimeOut{1000};
inline constexpr std::chrono::milliseconds kQuietAfterRefusal{100};

// The flash-side operations on the radio: the transfer of one frame or text line, erase,
// the text command words, the two writes and the end of a flash-mode connection. Results
// are the operation results the callers judge: a reply code, 1 when the attempts ran out,
// -1 when the port failed.
class FlashProgrammer {
  public:
    using Observer = std::function<void(const FlashEvent&)>;

    FlashProgrammer(Link& link, const MemoryImage& image);

    // Called synchronously from inside the operations; an empty observer is fine.
    void SetObserver(Observer observer) { m_observer = std::move(observer); }

    // Sends the current request of the mode and collects what comes back into the link's
    // receive buffer; returns the number of bytes collected. A mode other than 0, 1 or 2
    // throws std::invalid_argument, which the operations turn into -1.
    int TransferFrame(std::int16_t mode);

    // 1 when the 20 bytes at offset equal LineBuffer, 0 at the first difference, -1 when the
    // receive buffer is too short.
    int CheckLineReadback(std::size_t offset) const;

    std::int16_t EraseFlash();
    std::int16_t SendCommandWord(std::string_view word, std::int16_t mode);
    std::int16_t WriteFlash();
    std::int16_t WriteImage(std::int16_t mode);
    std::int16_t DisconnectTarget();

    Frame FrameBuffer{};
    Line LineBuffer{};
    PrefixedLine PrefixedLineBuffer{};

  private:
    int TransferFlashFrame();
    int TransferLine(std::int16_t mode);
    // Sends the request already built, up to attempts times, until a whole reply carries
    // one of the accepted codes; returns that code, or 1 when the attempts ran out.
    std::int16_t RepeatRequest(int attempts, std::int16_t mode,
                               std::span<const std::int16_t> accepted);
    // Before another attempt: waits for the line to go quiet, longer when a transfer of the
    // failed attempt timed out, so that a late answer is not read as the next one's.
    void SettleBeforeRetry();
    // Up to ten tries of one block or row, a fresh count for each; tells the observer.
    bool WriteUnit(std::uint32_t address, int done, int toWrite,
                   const std::function<bool(AttemptRecord&)>& tryOnce);
    // One try of a text-mode data row: line, read-back, then the OK or NG line.
    bool TryRow(std::uint32_t row, std::int16_t mode, AttemptRecord& failure);
    void Notify(const FlashEvent& event) const;

    Link& m_link;
    const MemoryImage& m_image;
    Observer m_observer;
    // Whether a transfer ended by its time-out since the attempts began or the line settled.
    bool m_transferTimedOut = false;
};

// The Text1 form of a block or row start: the row in uppercase hex with a "0" behind it.
std::string RowAddressText(std::uint32_t row);

}  // namespace vq
