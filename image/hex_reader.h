#pragma once

#include <cstdint>
#include <string_view>

#include "memory_image.h"

namespace vq {

// LineStatus codes of the Intel HEX reader.
enum HexStatus : std::int16_t {
    HexAccepted = 0,
    HexTooShort = 1,
    HexCountTooLarge = 2,
    HexWrongLength = 3,
    HexBadTypeDigit = 4,
    HexRowOutside = 5,
    HexPastRowEnd = 7,
    HexBadChecksum = 8,
    HexNoStart = 9,
    HexUnsupportedType = 10,
};

// The state a file's records carry from line to line: the segment of the last extended
// segment address record (type 02). It starts at 0 for every file.
struct HexReaderState {
    std::uint32_t segment = 0;
};

// Reads one line (without its terminator) of Intel HEX text into the image and leaves its
// verdict in image.LineStatus. Every check comes before the first store, so a refused line
// leaves the image as it was.
void ReadHexLine(std::string_view line, MemoryImage& image, HexReaderState& state);

}  // namespace vq
