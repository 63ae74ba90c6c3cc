#include "hex_text.h"

namespace vq {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t ReadHexField(std::string_view line, std::size_t first, std::size_t length) {
    std::uint32_t value = 0;
    for (std::size_t i = first; i < first + length && i < line.size(); ++i) {
        const int digit = HexDigitValue(line[i]);
        if (digit < 0) break;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::uint32_t ReadHexText(std::string_view text) {
    constexpr std::uint32_t kSaturated = 0xFFFFFFFF;
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) break;
        if (value > (kSaturated >> 4)) return kSaturated;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

int ReadDecimalDigit(std::string_view line, std::size_t position) {
    if (position >= line.size()) return 0;
    const char c = line[position];
    return (c >= '0' && c <= '9') ? c - '0' : 0;
}

}  // namespace vq
