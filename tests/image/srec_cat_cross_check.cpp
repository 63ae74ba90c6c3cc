// The carried image as the tool reads it, held against the binary that srec_cat (from the
// srecord package) makes of the same file, 0xC0000..0xFFFFF with 0xFF where no record lies.
// srec_cat refuses a file with a bad checksum, so its binary exists only for an intact file.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "embedded_image.h"
#include "memory_image.h"

namespace vq {
namespace {

TEST(CarriedImageAgainstSrecCat, ImageEqualsSrecCatsBinaryByteForByte) {
#ifndef VQ_SREC_CAT_BINARY
    GTEST_SKIP() << "srec_cat was not found when the build was configured";
#else
    std::ifstream in(VQ_SREC_CAT_BINARY, std::ios::binary);
    ASSERT_TRUE(in) << VQ_SREC_CAT_BINARY;
    const std::vector<unsigned char> binary{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(binary.size(), 0x40000u);

    auto embedded = std::make_unique<EmbeddedImage>();
    auto image = std::make_unique<MemoryImage>();
    image->ClearImage();
    embedded->FillEmbeddedLines();
    embedded->ReadInto(*image);

    std::size_t differences = 0;
    for (std::uint32_t offset = 0; offset < binary.size(); ++offset) {
        const std::uint32_t address = MemoryImage::kFirstAddress + offset;
        if (image->CellAt(address) != binary[offset] && differences++ < 5) {
            ADD_FAILURE() << std::hex << "at " << address << ": image "
                          << int{image->CellAt(address)} << ", srec_cat " << int{binary[offset]};
        }
    }
    EXPECT_EQ(differences, 0u);
#endif
}

}  // namespace
}  // namespace vq
