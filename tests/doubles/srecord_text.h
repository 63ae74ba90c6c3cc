#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq::test {

// One S2 record (24-bit address) with its checksum, as the image files of the tests hold them.
inline std::string S2Record(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes{
        static_cast<std::uint8_t>(data.size() + 4), static_cast<std::uint8_t>(address >> 16),
        static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = "S2";
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (const std::uint8_t b : bytes) {
        line += kDigits[b >> 4];
        line += kDigits[b & 0xF];
    }
    return line;
}

}  // namespace vq::test
