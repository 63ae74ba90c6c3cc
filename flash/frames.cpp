#include "frames.h"

#include <algorithm>
#include <numeric>

namespace vq {
namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

void StartFrame(Frame& frame, char first, char second) {
    frame[0] = 0xFF;
    frame[1] = 0xFE;
    frame[2] = static_cast<std::uint8_t>(first);
    frame[3] = static_cast<std::uint8_t>(second);
}

void SealFrame(Frame& frame) {
    frame[kFrameChecksumOffset] = FrameChecksum(frame);
}

// The erase entries, each the highest even address of its range, from the top down; the
// ninth, the top 4 KiB, only in full-range mode.
constexpr std::uint32_t kEraseEntries[] = {0xFEFFE, 0xFDFFE, 0xFBFFE, 0xF9FFE,
                                           0xF7FFE, 0xEFFFE, 0xDFFFE, 0xCFFFE};
constexpr std::uint32_t kTopRangeEntry = 0xFFFFE;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

void PutBigEndian32(Frame& frame, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        frame[offset + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value >> (8 * (3 - i)));
    }
}

void PutFourBytes(Line& line, std::uint8_t a, std::uint8_t b) {
    line[0] = a;
    line[1] = b;
    line[2] = kCr;
    line[3] = kLf;
}

}  // namespace

std::uint8_t FrameChecksum(const Frame& frame) {
    const unsigned sum = std::accumulate(frame.begin() + 2, frame.begin() + kFrameChecksumOffset,
                                         0u, [](unsigned acc, std::uint8_t b) { return acc + b; });
    return static_cast<std::uint8_t>(sum & 0xFF);
}

void BuildEraseFrame(Frame& frame, bool fullRange) {
    StartFrame(frame, 'B', 'E');
    std::size_t offset = 4;
    for (const auto entry : kEraseEntries) {
        PutBigEndian32(frame, offset, entry);
        offset += 4;
    }
    PutBigEndian32(frame, offset, fullRange ? kTopRangeEntry : kNoEntry);
    std::fill(frame.begin() + 40, frame.begin() + kFrameChecksumOffset, 0xFF);
    SealFrame(frame);
}

void BuildBlockFrame(Frame& frame, const MemoryImage& image, std::uint32_t firstRow) {
    StartFrame(frame, 'P', 'G');
    frame[4] = static_cast<std::uint8_t>(firstRow / 4096);
    frame[5] = static_cast<std::uint8_t>((firstRow % 4096) / 16);
    frame[6] = static_cast<std::uint8_t>((firstRow % 16) * 16);
    for (std::uint32_t k = 0; k < kRowsPerBlock; ++k) {
        for (std::uint32_t c = 0; c < MemoryImage::kColumns; ++c) {
            frame[7 + 16 * k + c] = image.Cell(firstRow + k, c);
        }
    }
    SealFrame(frame);
}

void BuildEndFrame(Frame& frame) {
    StartFrame(frame, 'E', 'D');
    std::fill(frame.begin() + 4, frame.begin() + kFrameChecksumOffset, 0xFF);
    SealFrame(frame);
}

bool BlockUsed(const MemoryImage& image, std::uint32_t firstRow) {
    for (std::uint32_t row = firstRow; row < firstRow + kRowsPerBlock; ++row) {
        if (image.RowUsed(row)) return true;
    }
    return false;
}

void BuildEndLine(Line& line) {
    PutFourBytes(line, 0x00, 0x00);
}
void BuildEraseLine(Line& line) {
    PutFourBytes(line, 0x01, 0x01);
}
void BuildOkLine(Line& line) {
    PutFourBytes(line, 'O', 'K');
}
void BuildNgLine(Line& line) {
    PutFourBytes(line, 'N', 'G');
}

void BuildDataLine(Line& line, const MemoryImage& image, std::uint32_t row) {
    line[0] = static_cast<std::uint8_t>(row >> 8);
    line[1] = static_cast<std::uint8_t>(row & 0xFF);
    for (std::uint32_t c = 0; c < MemoryImage::kColumns; ++c) line[2 + c] = image.Cell(row, c);
}

}  // namespace vq
