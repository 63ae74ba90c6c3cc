#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "memory_image.h"

namespace vq {

// The firmware image the tool carries, as the S-record lines it was supplied in. The lines
// are compiled into the program; startup puts them into the table and reads them one by one
// with the same reader that reads files.
class EmbeddedImage {
  public:
    static constexpr std::size_t kCapacity = 9000;

    // Puts the carried lines into slots 0.. in order and sets EmbeddedLineCount.
    void FillEmbeddedLines();

    // Reads slots 0 .. EmbeddedLineCount - 1 into the image; their status is not looked at.
    void ReadInto(MemoryImage& image) const;

    std::array<std::string_view, kCapacity> EmbeddedLines{};
    std::int32_t EmbeddedLineCount = 0;

    // The carried lines as compiled in.
    static std::span<const std::string_view> CarriedLines();

  private:
    void FillStage(std::size_t first, std::size_t end);
};

}  // namespace vq
