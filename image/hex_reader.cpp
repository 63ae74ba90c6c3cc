#include "hex_reader.h"

#include <cstddef>

#include "hex_text.h"

namespace vq {
namespace {

constexpr std::string_view kEndOfFileRecord = ":00000001FF";
constexpr std::size_t kMinimumLength = 13;
constexpr std::uint32_t kMaximumCount = 16;

// The sum of every two-digit pair from the count to the checksum byte; a sound record's
// sum is 0 modulo 256.
bool ChecksumHolds(std::string_view line) {
    std::uint32_t sum = 0;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) sum += ReadHexField(line, i, 2);
    return (sum & 0xFF) == 0;
}

}  // namespace

void ReadHexLine(std::string_view line, MemoryImage& image, HexReaderState& state) {
    auto status = [&image](std::int16_t code) { image.LineStatus = code; };
    status(HexAccepted);
    if (line.empty() || line[0] != ':') return status(HexNoStart);
    if (line.size() < kMinimumLength) {
        // The end-of-file record does not end the reading; the next line is read as usual.
        if (line != kEndOfFileRecord) status(HexTooShort);
        return;
    }
    const std::uint32_t count = ReadHexField(line, 1, 2);
    if (count > kMaximumCount) return status(HexCountTooLarge);
    if (line.size() != 2 * count + 11) return status(HexWrongLength);
    if (line[7] != '0') return status(HexBadTypeDigit);

    switch (ReadDecimalDigit(line, 8)) {
        case 0:
            break;
        case 1:
        case 3:
            return;
        case 2:
            // Extended segment address: the data records after it are addressed at
            // segment x 16 + offset. Ordinary tools write it for every image above 64 KiB,
            // so it is honoured; it must be intact, as it moves every byte that follows.
            if (count != 2) return status(HexWrongLength);
            if (!ChecksumHolds(line)) return status(HexBadChecksum);
            state.segment = ReadHexField(line, 9, 4);
            return;
        default:
            return status(HexUnsupportedType);
    }

    const std::uint32_t address = state.segment * 16 + ReadHexField(line, 3, 4);
    const std::uint32_t row = address / 16;
    const std::uint32_t column = address % 16;
    if (!MemoryImage::ContainsRow(row)) return status(HexRowOutside);
    // A data record must fit in its row from its column on.
    if (column + count > MemoryImage::kColumns) return status(HexPastRowEnd);
    if (!ChecksumHolds(line)) return status(HexBadChecksum);

    for (std::uint32_t i = 0; i < count; ++i) {
        image.Store(row, column + i, static_cast<std::uint8_t>(ReadHexField(line, 9 + 2 * i, 2)));
    }
}

}  // namespace vq
