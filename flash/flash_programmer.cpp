#include "flash_programmer.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

namespace vq {
namespace {

constexpr std::int16_t kFlashMode = 2;
constexpr std::int16_t kAttemptsRanOut = 1;
constexpr std::int16_t kPortFailed = -1;

constexpr int kEraseAttempts = 3;
constexpr int kWriteAttempts = 10;
constexpr int kEndAttempts = 10;
constexpr int kCommandWordAttempts = 10;

// Settings options each kind of request honours: flash mode all three speeds, the text modes
// only the first two.
constexpr int kFlashLastOption = 2;
constexpr int kTextLastOption = 1;

// The link returns each half of a frame before the next goes out: the first 512 bytes, then
// the 520 of the second half with the 4-byte answer behind them.
constexpr int kFirstHalfReturn = static_cast<int>(kFrameFirstHalf);
constexpr int kSecondHalfReturn = static_cast<int>(kFrameSize - kFrameFirstHalf) + 4;

// Where a whole reply ends and its token starts, echo included.
struct ReplyShape {
    int expected;
    std::size_t tokenOffset;
};
constexpr ReplyShape kFrameShape{kFrameExchangeCount, kFrameReplyOffset};
constexpr std::array<ReplyShape, 2> kLineShapes{{
    {static_cast<int>(2 * kLineSize), kLineSize},
    {static_cast<int>(kPrefixedLineSize + kLineSize), kPrefixedLineSize},
}};

constexpr std::array<std::int16_t, 2> kEraseAccepts{ReplyOk, ReplyBe};
constexpr std::array<std::int16_t, 2> kBlockAccepts{ReplyOk, ReplyPg};
constexpr std::array<std::int16_t, 2> kEndAccepts{ReplyOk, ReplyEd};
constexpr std::array<std::int16_t, 3> kCommandWordAccepts{ReplyOk, ReplyEd, ReplyBe};
constexpr std::array<std::int16_t, 1> kRowAccepts{ReplyOk};

// The text-mode write stops below the top 4 KiB whatever the full-range word says.
constexpr std::uint32_t kLastNormalRow = 0xFEFF;

const ReplyShape& TextShape(std::int16_t mode) {
    if (mode != 0 && mode != 1) {
        throw std::invalid_argument("no text mode " + std::to_string(mode));
    }
    return kLineShapes[static_cast<std::size_t>(mode)];
}

const ReplyShape& ShapeOf(std::int16_t mode) {
    return mode == kFlashMode ? kFrameShape : TextShape(mode);
}

// The accepted code of a whole reply, or nothing with the cause filled in.
std::optional<std::int16_t> AcceptedReply(const Bytes& received, int count, const ReplyShape& shape,
                                          std::span<const std::int16_t> accepted,
                                          AttemptRecord& failure) {
    failure.expected = shape.expected;
    failure.received = count;
    if (count < shape.expected) {
        failure.cause = AttemptFailure::ShortReply;
        failure.code = ReplyUnknown;
        return std::nullopt;
    }
    const std::int16_t code = ClassifyReply(received, shape.tokenOffset);
    if (std::ranges::find(accepted, code) != accepted.end()) return code;
    failure.cause = AttemptFailure::Rejected;
    failure.code = code;
    return std::nullopt;
}

AttemptRecord FreshAttempt(int attempt, int attempts) {
    return {AttemptFailure::ShortReply, attempt, attempts, 0, 0, ReplyUnknown};
}

void Append(Bytes& collected, const Bytes& more) {
    collected.insert(collected.end(), more.begin(), more.end());
}

}  // namespace

std::string RowAddressText(std::uint32_t row) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[row & 0xF]);
        row >>= 4;
    } while (row != 0);
    if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
    return text + "0";
}

FlashProgrammer::FlashProgrammer(Link& link, const MemoryImage& image)
    : m_link(link), m_image(image) {}

int FlashProgrammer::TransferFrame(std::int16_t mode) {
    if (mode == kFlashMode) return TransferFlashFrame();
    TextShape(mode);
    return TransferLine(mode);
}

int FlashProgrammer::TransferFlashFrame() {
    m_link.ApplyLineSettings(kFlashLastOption);
    SerialPort& port = m_link.MSComm1();
    OneShotTimer& timer = m_link.Timer1();
    EventPump& pump = m_link.Pump();

    // A reply that came in after an earlier attempt gave up would otherwise be taken for the
    // echo of this frame and push the answer away from offset 1032.
    m_link.DiscardStaleInput();

    Bytes collected;
    int count = 0;
    const std::span<const std::uint8_t> frame(FrameBuffer);
    port.output(frame.first(kFrameFirstHalf));
    timer.setEnabled(true);  // one time-out for both halves
    while (count < kFirstHalfReturn && timer.enabled()) {
        pump.pumpEvents();
        if (port.inBufferCount() >= kFirstHalfReturn) {
            count += port.inBufferCount();
            Append(collected, port.input());
        }
    }
    // Goes out even when the first half did not come back, so a radio that was merely slow
    // still gets a whole frame.
    port.output(frame.subspan(kFrameFirstHalf));
    while (count < kFrameExchangeCount && timer.enabled()) {
        pump.pumpEvents();
        const int waiting = port.inBufferCount();
        if (waiting >= kSecondHalfReturn) {
            count += waiting;
            Append(collected, port.input());
        }
    }
    if (count >= kFrameExchangeCount) timer.setEnabled(false);
    m_transferTimedOut = m_transferTimedOut || count < kFrameExchangeCount;
    m_link.SetReceiveBuffer(std::move(collected));
    return count;
}

int FlashProgrammer::TransferLine(std::int16_t mode) {
    m_link.ApplyLineSettings(kTextLastOption);
    SerialPort& port = m_link.MSComm1();
    // As in flash mode: a late answer must not be read as this line's echo.
    m_link.DiscardStaleInput();
    if (mode == 0) {
        port.output(LineBuffer);
    } else {
        std::copy(LineBuffer.begin(), LineBuffer.end(), PrefixedLineBuffer.begin() + 3);
        PrefixedLineBuffer[0] = 'C';
        PrefixedLineBuffer[1] = 'L';
        PrefixedLineBuffer[2] = '~';
        port.output(PrefixedLineBuffer);
    }
    const int expected = TextShape(mode).expected;
    const int count = m_link.WaitForReply(expected);
    m_transferTimedOut = m_transferTimedOut || count < expected;
    return count;
}

int FlashProgrammer::CheckLineReadback(std::size_t offset) const {
    const Bytes& received = m_link.ReceiveBuffer();
    for (std::size_t i = 0; i < kLineSize; ++i) {
        if (offset + i >= received.size()) return -1;
        if (received[offset + i] != LineBuffer[i]) return 0;
    }
    return 1;
}

std::int16_t FlashProgrammer::RepeatRequest(int attempts, std::int16_t mode,
                                            std::span<const std::int16_t> accepted) {
    const ReplyShape& shape = ShapeOf(mode);
    m_transferTimedOut = false;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (attempt > 1) SettleBeforeRetry();
        AttemptRecord failure = FreshAttempt(attempt, attempts);
        const int count = TransferFrame(mode);
        if (const auto code =
                AcceptedReply(m_link.ReceiveBuffer(), count, shape, accepted, failure)) {
            return *code;
        }
        Notify({FlashEvent::Kind::AttemptFailed, 0, 0, 0, failure});
    }
    return kAttemptsRanOut;
}

std::int16_t FlashProgrammer::EraseFlash() {
    m_link.ApplyLineSettings(kFlashLastOption);
    BuildEraseFrame(FrameBuffer, IsFullRangeWord(m_link.Window().txtPinNumber()));
    return m_link.InPortBracket(
        kPortFailed, [&] { return RepeatRequest(kEraseAttempts, kFlashMode, kEraseAccepts); });
}

std::int16_t FlashProgrammer::SendCommandWord(std::string_view word, std::int16_t mode) {
    m_link.ApplyLineSettings(kTextLastOption);
    return m_link.InPortBracket(kPortFailed, [&]() -> std::int16_t {
        TextShape(mode);
        if (word == "ERASE") {
            BuildEraseLine(LineBuffer);
        } else if (word == "END") {
            BuildEndLine(LineBuffer);
        } else {
            return kAttemptsRanOut;
        }
        return RepeatRequest(kCommandWordAttempts, mode, kCommandWordAccepts);
    });
}

std::int16_t FlashProgrammer::DisconnectTarget() {
    m_link.ApplyLineSettings(kFlashLastOption);
    BuildEndFrame(FrameBuffer);
    return m_link.InPortBracket(
        kPortFailed, [&] { return RepeatRequest(kEndAttempts, kFlashMode, kEndAccepts); });
}

std::int16_t FlashProgrammer::WriteFlash() {
    m_link.ApplyLineSettings(kFlashLastOption);
    return m_link.InPortBracket(kPortFailed, [&]() -> std::int16_t {
        WindowControls& window = m_link.Window();
        const std::uint32_t lastRow =
            IsFullRangeWord(window.txtPinNumber()) ? MemoryImage::kLastRow : kLastNormalRow;
        int toWrite = 0;
        for (std::uint32_t first = MemoryImage::kFirstRow; first <= lastRow;
             first += kRowsPerBlock) {
            if (BlockUsed(m_image, first)) ++toWrite;
        }
        int done = 0;
        for (std::uint32_t first = MemoryImage::kFirstRow; first <= lastRow;
             first += kRowsPerBlock) {
            window.setText1(RowAddressText(first));
            window.setBarValue(static_cast<int>(first));
            if (!BlockUsed(m_image, first)) continue;
            const std::uint32_t address = first * MemoryImage::kColumns;
            const bool written = WriteUnit(address, done, toWrite, [&](AttemptRecord& failure) {
                BuildBlockFrame(FrameBuffer, m_image, first);
                const int count = TransferFrame(kFlashMode);
                return AcceptedReply(m_link.ReceiveBuffer(), count, kFrameShape, kBlockAccepts,
                                     failure)
                    .has_value();
            });
            if (!written) return kAttemptsRanOut;
            ++done;
        }
        return 0;
    });
}

bool FlashProgrammer::WriteUnit(std::uint32_t address, int done, int toWrite,
                                const std::function<bool(AttemptRecord&)>& tryOnce) {
    Notify({FlashEvent::Kind::UnitStarted, address, done, toWrite, {}});
    m_transferTimedOut = false;
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        if (attempt > 1) SettleBeforeRetry();
        AttemptRecord failure = FreshAttempt(attempt, kWriteAttempts);
        if (tryOnce(failure)) {
            Notify({FlashEvent::Kind::UnitFinished, address, done + 1, toWrite, {}});
            return true;
        }
        Notify({FlashEvent::Kind::AttemptFailed, address, done, toWrite, failure});
    }
    return false;
}

bool FlashProgrammer::TryRow(std::uint32_t row, std::int16_t mode, AttemptRecord& failure) {
    const ReplyShape& shape = TextShape(mode);
    BuildDataLine(LineBuffer, m_image, row);
    const int count = TransferFrame(mode);
    failure.expected = shape.expected;
    failure.received = count;
    if (count < shape.expected) return false;
    if (CheckLineReadback(shape.tokenOffset) != 1) {
        failure.cause = AttemptFailure::ReadbackMismatch;
        // Tells the radio to drop the row; its answer changes nothing.
        BuildNgLine(LineBuffer);
        TransferFrame(mode);
        return false;
    }
    BuildOkLine(LineBuffer);
    const int okCount = TransferFrame(mode);
    return AcceptedReply(m_link.ReceiveBuffer(), okCount, shape, kRowAccepts, failure).has_value();
}

std::int16_t FlashProgrammer::WriteImage(std::int16_t mode) {
    m_link.ApplyLineSettings(kTextLastOption);
    return m_link.InPortBracket(kPortFailed, [&]() -> std::int16_t {
        TextShape(mode);
        WindowControls& window = m_link.Window();
        int toWrite = 0;
        for (std::uint32_t row = MemoryImage::kFirstRow; row <= kLastNormalRow; ++row) {
            if (m_image.RowUsed(row)) ++toWrite;
        }
        int done = 0;
        for (std::uint32_t row = MemoryImage::kFirstRow; row <= kLastNormalRow; ++row) {
            window.setText1(RowAddressText(row));
            if (!m_image.RowUsed(row)) continue;
            const std::uint32_t address = row * MemoryImage::kColumns;
            const bool written = WriteUnit(address, done, toWrite, [&](AttemptRecord& failure) {
                return TryRow(row, mode, failure);
            });
            if (!written) return kAttemptsRanOut;
            ++done;
        }
        return 0;
    });
}

void FlashProgrammer::SettleBeforeRetry() {
    m_link.AwaitQuietLine(m_transferTimedOut ? kQuietAfterTimeOut : kQuietAfterRefusal);
    m_transferTimedOut = false;
}

void FlashProgrammer::Notify(const FlashEvent& event) const {
    if (m_observer) m_observer(event);
}

}  // namespace vq
