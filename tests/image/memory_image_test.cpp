#include "memory_image.h"

#include <gtest/gtest.h>

namespace vq {
namespace {

TEST(MemoryImage, ClearedImageIsErasedAndUnused) {
    MemoryImage image;
    image.Store(0xC123, 4, 0x00);
    image.ClearImage();
    for (std::uint32_t row = MemoryImage::kFirstRow; row <= MemoryImage::kLastRow; ++row) {
        ASSERT_FALSE(image.RowUsed(row)) << std::hex << row;
        for (std::uint32_t column = 0; column < 16; ++column) {
            ASSERT_EQ(image.Cell(row, column), 0xFF);
        }
    }
}

TEST(MemoryImage, OnlyValuesBelowFFMarkTheRowUsed) {
    MemoryImage image;
    image.Store(0xC000, 0, 0xFF);
    EXPECT_FALSE(image.RowUsed(0xC000));
    image.Store(0xC001, 0, 0x00);
    EXPECT_TRUE(image.RowUsed(0xC001));
    image.Store(0xC002, 3, 0x12);
    image.Store(0xC002, 3, 0xFF);
    EXPECT_TRUE(image.RowUsed(0xC002)) << "a later 0xFF does not unmark a row";
    EXPECT_EQ(image.Cell(0xC002, 3), 0xFF);
}

TEST(MemoryImage, StoresOutsideTheImageFailAndStoreNothing) {
    MemoryImage image;
    const MemoryImage before = image;
    image.Store(0xFFFF, 15, 0x5A);
    EXPECT_EQ(image.CellAt(0xFFFFF), 0x5A);
    MemoryImage probe = image;
    EXPECT_THROW(probe.Store(0x10000, 0, 0x01), OutOfRangeFailure);
    EXPECT_THROW(probe.Store(0xBFFF, 15, 0x01), OutOfRangeFailure);
    EXPECT_THROW(probe.Store(0xC000, 16, 0x01), OutOfRangeFailure);
    EXPECT_EQ(probe, image);
    EXPECT_FALSE(before == image);
}

}  // namespace
}  // namespace vq
