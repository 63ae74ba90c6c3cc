#pragma once

#include <cstdint>
#include <string_view>

#include "memory_image.h"

namespace vq {

// LineStatus codes of the S-record reader. The numbers of the data-record checks are those
// of the Intel HEX reader, so the loader's message reads the same for both formats.
enum SRecordStatus : std::int16_t {
    SRecordAccepted = 0,
    SRecordShortLine = 3,
    SRecordBadChecksum = 8,
    SRecordNoStart = 9,
};

// Reads one line (without its terminator) of Motorola S-record text into the image and
// leaves its verdict in image.LineStatus. S1, S2 and S3 records store their data bytes;
// every other record type is accepted without effect. A data byte addressed outside the
// image raises OutOfRangeFailure; the bytes of the line stored before it stay stored.
void ReadSRecordLine(std::string_view line, MemoryImage& image);

}  // namespace vq
