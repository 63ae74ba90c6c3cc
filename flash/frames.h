#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "memory_image.h"

namespace vq {

// A flash-mode frame: 0xFF 0xFE, two command letters, a 1027-byte body and a checksum.
constexpr std::size_t kFrameSize = 1032;
constexpr std::size_t kFrameFirstHalf = 512;
constexpr std::size_t kFrameChecksumOffset = 1031;
// The link returns the whole frame before the radio's 4-byte answer.
constexpr std::size_t kFrameReplyOffset = kFrameSize;
constexpr int kFrameExchangeCount = static_cast<int>(kFrameSize) + 4;

using Frame = std::array<std::uint8_t, kFrameSize>;

// A text-mode line; mode 1 sends it behind the prefix "CL~".
constexpr std::size_t kLineSize = 20;
constexpr std::size_t kPrefixedLineSize = 23;
using Line = std::array<std::uint8_t, kLineSize>;
using PrefixedLine = std::array<std::uint8_t, kPrefixedLineSize>;

// Rows per 1 KiB block of the image.
constexpr std::uint32_t kRowsPerBlock = 64;

// While txtPinNumber holds exactly this word, erase and write extend to 0xFF000..0xFFFFF.
constexpr std::string_view kFullRangeWord = "KESTRAL";
inline bool IsFullRangeWord(std::string_view text) {
    return text == kFullRangeWord;
}

// The plain sum of offsets 2..1030 (command and body), modulo 256.
std::uint8_t FrameChecksum(const Frame& frame);

// Each builder fills offsets 0..1030 and the checksum.
void BuildEraseFrame(Frame& frame, bool fullRange);
void BuildBlockFrame(Frame& frame, const MemoryImage& image, std::uint32_t firstRow);
void BuildEndFrame(Frame& frame);

// Whether any of the 64 rows from firstRow is used.
bool BlockUsed(const MemoryImage& image, std::uint32_t firstRow);

// The line builders write only the offsets they name; the rest keep what they held.
void BuildEndLine(Line& line);
void BuildEraseLine(Line& line);
void BuildOkLine(Line& line);
void BuildNgLine(Line& line);
// Offsets 0 and 1: the row number, high byte first; offsets 2..17: the row's 16 bytes.
void BuildDataLine(Line& line, const MemoryImage& image, std::uint32_t row);

}  // namespace vq
