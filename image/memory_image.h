#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

namespace vq {

// Raised by a store outside the image. Distinct from LineStatus: it ends the reading of the
// line that caused it, and the loader reports it as a file failure.
class OutOfRangeFailure : public std::out_of_range {
  public:
    using std::out_of_range::out_of_range;
};

// The tool's copy of the radio's address space 0xC0000..0xFFFFF, in rows of 16 bytes. A row
// is named by its absolute number, the address shifted right by four (0xC000..0xFFFF); the
// column is the low four bits of the address.
class MemoryImage {
  public:
    static constexpr std::uint32_t kFirstRow = 0xC000;
    static constexpr std::uint32_t kLastRow = 0xFFFF;
    static constexpr std::uint32_t kRowCount = kLastRow - kFirstRow + 1;
    static constexpr std::uint32_t kColumns = 16;
    static constexpr std::uint32_t kFirstAddress = kFirstRow * kColumns;
    static constexpr std::uint32_t kLastAddress = kLastRow * kColumns + kColumns - 1;
    static constexpr std::int16_t kErased = 0xFF;

    MemoryImage() { ClearImage(); }

    // Every cell 0xFF, every row unused. LineStatus is left alone.
    void ClearImage();

    // A value below 0xFF marks the row used first; then the cell takes the value. Throws
    // OutOfRangeFailure, storing nothing, for a row or column outside the image.
    void Store(std::uint32_t row, std::uint32_t column, std::uint8_t value);

    static bool ContainsRow(std::uint32_t row) { return row >= kFirstRow && row <= kLastRow; }
    static bool ContainsAddress(std::uint32_t address) {
        return address >= kFirstAddress && address <= kLastAddress;
    }

    // Reads; row and column must lie inside the image.
    std::uint8_t Cell(std::uint32_t row, std::uint32_t column) const {
        return static_cast<std::uint8_t>(ImageCells[row - kFirstRow][column]);
    }
    std::uint8_t CellAt(std::uint32_t address) const { return Cell(address / 16, address % 16); }
    bool RowUsed(std::uint32_t row) const { return RowUsedFlags[row - kFirstRow]; }

    // The status left by the last image line read: 0 accepted, else the reader's code.
    std::int16_t LineStatus = 0;

    // Same content: cells and row flags; the status of the last line read is not content.
    friend bool operator==(const MemoryImage& a, const MemoryImage& b) {
        return a.ImageCells == b.ImageCells && a.RowUsedFlags == b.RowUsedFlags;
    }

  private:
    std::array<std::array<std::int16_t, kColumns>, kRowCount> ImageCells{};
    std::array<bool, kRowCount> RowUsedFlags{};
};

}  // namespace vq
