#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "memory_image.h"

namespace vq {

// The sum of the image cells from the start address to the stop address, both included,
// each address text read as bare hexadecimal. 0 when the start is above the stop. Empty when
// the start is not above the stop but an address of the range lies outside the image.
std::optional<std::uint32_t> RangeChecksum(const MemoryImage& image, std::string_view startText,
                                           std::string_view stopText);

// Uppercase hexadecimal without leading zeros or prefix, as the checksum box shows it.
std::string ChecksumText(std::uint32_t sum);

}  // namespace vq
