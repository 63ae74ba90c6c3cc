#include "memory_image.h"

#include <string>

namespace vq {

void MemoryImage::ClearImage() {
    for (std::uint32_t i = 0; i < kRowCount; ++i) {
        ImageCells[i].fill(kErased);
        RowUsedFlags[i] = false;
    }
}

void MemoryImage::Store(std::uint32_t row, std::uint32_t column, std::uint8_t value) {
    if (!ContainsRow(row) || column >= kColumns) {
        throw OutOfRangeFailure("store outside the image at row " + std::to_string(row) +
                                " column " + std::to_string(column));
    }
    if (value < kErased) RowUsedFlags[row - kFirstRow] = true;
    ImageCells[row - kFirstRow][column] = value;
}

}  // namespace vq
