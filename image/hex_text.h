#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vq {

// The field reading shared by the image readers: an unsigned hexadecimal number in
// characters [first, first + length) of the line (0-based), upper- or lower-case digits.
// Reading stops at the first character that is not a hex digit or at the end of the line;
// a field with no leading digit reads as 0.
std::uint32_t ReadHexField(std::string_view line, std::size_t first, std::size_t length);

// Reads an unsigned hexadecimal text whole, as the address boxes are read: stops at the first
// non-digit; a text with no leading digit reads as 0. Digits beyond 32 bits saturate at
// 0xFFFFFFFF, so a huge number still compares as huge.
std::uint32_t ReadHexText(std::string_view text);

// A decimal digit at a 0-based position; a non-digit, or a position past the end, reads as 0.
int ReadDecimalDigit(std::string_view line, std::size_t position);

}  // namespace vq
