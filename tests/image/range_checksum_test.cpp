#include "range_checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vq {
namespace {

struct RangeCase {
    std::string start;
    std::string stop;
    std::optional<std::uint32_t> sum;
};

TEST(RangeChecksum, AddsEveryCellOfTheRange) {
    MemoryImage image;
    image.Store(0xD123, 4, 0x0A);
    const std::vector<RangeCase> cases = {
        {"E0000", "FFFFF", 0x1FE0000},
        {"e0000", "fffff", 0x1FE0000},
        {"C0000", "FFFFF", 0x3FC0000 - 0xFF + 0x0A},
        {"D1234", "D1234", 0x0A},
        {"D1234", "D1235", 0x0A + 0xFF},
        {"FFFFF", "E0000", 0},
        {"", "", std::nullopt},
        {"BFFFF", "C0000", std::nullopt},
        {"FFFFF", "100000", std::nullopt},
        {"C0000 ", "C0000x", 0xFF},
        {"zz", "C0000", std::nullopt},
        {"FFFFFFFFFFFFFFFFFFFF", "C0000", 0},
        {"C0000", std::string(100000, 'F'), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RangeChecksum(image, c.start, c.stop), c.sum)
            << c.start.substr(0, 20) << ".." << c.stop.substr(0, 20);
    }
}

TEST(ChecksumText, IsUppercaseHexWithoutLeadingZeros) {
    EXPECT_EQ(ChecksumText(0x1FE0000), "1FE0000");
    EXPECT_EQ(ChecksumText(0xA), "A");
    EXPECT_EQ(ChecksumText(0), "0");
}

}  // namespace
}  // namespace vq
