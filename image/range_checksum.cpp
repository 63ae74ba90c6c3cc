#include "range_checksum.h"

#include <cstdio>

#include "hex_text.h"

namespace vq {

std::optional<std::uint32_t> RangeChecksum(const MemoryImage& image, std::string_view startText,
                                           std::string_view stopText) {
    const std::uint32_t start = ReadHexText(startText);
    const std::uint32_t stop = ReadHexText(stopText);
    if (start > stop) return 0;
    // Only the image's own cells can be added up; an address outside has none.
    if (!MemoryImage::ContainsAddress(start) || !MemoryImage::ContainsAddress(stop)) {
        return std::nullopt;
    }
    std::uint32_t sum = 0;
    for (std::uint32_t address = start; address <= stop; ++address) sum += image.CellAt(address);
    return sum;
}

std::string ChecksumText(std::uint32_t sum) {
    char buffer[12];
    std::snprintf(buffer, sizeof buffer, "%X", sum);
    return buffer;
}

}  // namespace vq
