#include "embedded_image.h"

#include <algorithm>

#include "srecord_reader.h"

namespace vq {

// Generated at build time from the carried S-record file.
std::span<const std::string_view> CarriedFirmwareLines();

std::span<const std::string_view> EmbeddedImage::CarriedLines() {
    return CarriedFirmwareLines();
}

void EmbeddedImage::FillStage(std::size_t first, std::size_t end) {
    const auto lines = CarriedLines();
    for (std::size_t slot = first; slot < std::min(end, lines.size()); ++slot) {
        EmbeddedLines[slot] = lines[slot];
    }
}

// Three consecutive stages, as the table has always been filled; the last sets the count.
void EmbeddedImage::FillEmbeddedLines() {
    FillStage(0, 3000);
    FillStage(3000, 6000);
    FillStage(6000, kCapacity);
    EmbeddedLineCount = static_cast<std::int32_t>(CarriedLines().size());
}

void EmbeddedImage::ReadInto(MemoryImage& image) const {
    for (std::int32_t slot = 0; slot < EmbeddedLineCount; ++slot) {
        ReadSRecordLine(EmbeddedLines[static_cast<std::size_t>(slot)], image);
    }
}

}  // namespace vq
