#include "hex_text.h"

#include <array>

namespace vq {
namespace {

// A table, not a chain of comparisons: on firmware bytes the digit-or-letter choice is a
// coin flip that branch prediction loses, and startup reads some 450,000 digits.
constexpr std::array<std::int8_t, 256> MakeDigitTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<std::int8_t>(10 + i);
        table['a' + i] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}
constexpr std::array<std::int8_t, 256> kDigitValues = MakeDigitTable();

int HexDigitValue(char c) {
    return kDigitValues[static_cast<unsigned char>(c)];
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
