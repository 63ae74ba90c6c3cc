#include "srecord_reader.h"

#include <array>
#include <cstddef>

#include "hex_text.h"

namespace vq {
namespace {

// Where the fields of a data record lie, as 0-based character offsets. The reader does not
// form the address as one number: all address digits but the last name the row, the last
// digit is the column.
struct DataRecordLayout {
    std::size_t rowDigits;
    std::size_t columnOffset;
};

constexpr std::size_t kRowOffset = 4;

bool LayoutFor(int type, DataRecordLayout& layout) {
    switch (type) {
        case 1:
            layout = {3, 7};
            return true;
        case 2:
            layout = {5, 9};
            return true;
        case 3:
            layout = {7, 11};
            return true;
        default:
            return false;
    }
}

}  // namespace

void ReadSRecordLine(std::string_view line, MemoryImage& image) {
    image.LineStatus = SRecordAccepted;
    if (line.empty() || line[0] != 'S') {
        image.LineStatus = SRecordNoStart;
        return;
    }
    DataRecordLayout layout{};
    if (!LayoutFor(ReadDecimalDigit(line, 1), layout)) return;

    const std::uint32_t count = ReadHexField(line, 2, 2);
    // A data record must be whole and intact before any of its bytes reaches the image:
    // a truncated or corrupted line would otherwise end up in the radio's flash.
    const std::size_t lineLength = 2 * static_cast<std::size_t>(count) + 4;
    if (line.size() < lineLength) {
        image.LineStatus = SRecordShortLine;
        return;
    }
    // Every pair from the count to the checksum, decoded once: the checksum is the ones'
    // complement of the low byte of the sum of the others, so all of them sum to 0xFF.
    std::array<std::uint8_t, 256> pairs;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i <= count; ++i) {
        pairs[i] = static_cast<std::uint8_t>(ReadHexField(line, 2 + 2 * i, 2));
        sum += pairs[i];
    }
    if ((sum & 0xFF) != 0xFF) {
        image.LineStatus = SRecordBadChecksum;
        return;
    }

    std::uint32_t row = ReadHexField(line, kRowOffset, layout.rowDigits);
    std::uint32_t column = ReadHexField(line, layout.columnOffset, 1);
    // The data pairs run from just after the column digit to the last pair before the
    // checksum; the pair at 0-based offset k is pairs[(k - 2) / 2].
    const std::size_t dataEnd = 2 * static_cast<std::size_t>(count) + 2;
    for (std::size_t k = layout.columnOffset + 1; k < dataEnd; k += 2) {
        image.Store(row, column, pairs[(k - 2) / 2]);
        if (++column > 15) {
            column = 0;
            ++row;
        }
    }
}

}  // namespace vq
