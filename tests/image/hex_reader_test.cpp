#include "hex_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vq {
namespace {

// A well-formed record with its checksum.
std::string HexRecord(int type, std::uint32_t offset, const std::vector<std::uint8_t>& data) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  offset, type);
    std::string line = buffer;
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFF) +
                   static_cast<unsigned>(type);
    for (const auto byte : data) {
        std::snprintf(buffer, sizeof buffer, "%02X", byte);
        line += buffer;
        sum += byte;
    }
    std::snprintf(buffer, sizeof buffer, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buffer;
}

std::string Segment(std::uint32_t segment) {
    return HexRecord(
        2, 0, {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment & 0xFF)});
}

struct StatusCase {
    std::string line;
    std::int16_t status;
};

// Each line is read on a fresh image after the segment record for 0xC0000, so the data
// records' rows lie in the image unless a case says otherwise.
TEST(ReadHexLine, ChecksEveryLineInOrderBeforeStoring) {
    const std::string inRow = HexRecord(0, 0x0008, std::vector<std::uint8_t>(8, 0x11));
    std::string offByOne = inRow;
    offByOne.back() = offByOne.back() == '0' ? '1' : '0';
    const std::vector<StatusCase> cases = {
        {":00000001FF", 0},
        {":00000001ff", 1},
        {":0000", 1},
        {":", 1},
        {"", 9},
        {"S00300000FC", 9},
        {":11" + std::string(40, '0'), 2},
        {":10" + std::string(39, '0'), 3},
        {HexRecord(0x10, 0, {0x00}), 4},
        {HexRecord(4, 0, {0x00, 0x0C}), 10},
        {HexRecord(5, 0, {0, 0, 0, 0}), 10},
        {HexRecord(6, 0, {0x00}), 10},
        {HexRecord(3, 0, {0, 0, 0, 0}), 0},
        {HexRecord(1, 0, {}), 0},
        {HexRecord(0, 0x0008, std::vector<std::uint8_t>(9, 0x11)), 7},
        {inRow, 0},
        {offByOne, 8},
    };
    for (const auto& c : cases) {
        MemoryImage image;
        HexReaderState state{0xC000};
        image.LineStatus = 99;
        ReadHexLine(c.line, image, state);
        EXPECT_EQ(image.LineStatus, c.status) << c.line;
        if (c.status != 0) {
            EXPECT_EQ(image, MemoryImage{}) << c.line;
        }
    }
}

TEST(ReadHexLine, DataRecordFillsItsRowFromItsColumn) {
    MemoryImage image;
    HexReaderState state{0xC000};
    ReadHexLine(HexRecord(0, 0x1238, {1, 2, 3, 4, 5, 6, 7, 8}), image, state);
    ASSERT_EQ(image.LineStatus, 0);
    for (std::uint32_t c = 0; c < 8; ++c) EXPECT_EQ(image.Cell(0xC123, 8 + c), c + 1);
    EXPECT_EQ(image.Cell(0xC123, 7), 0xFF);
    EXPECT_TRUE(image.RowUsed(0xC123));
}

TEST(ReadHexLine, SegmentRecordsPlaceTheDataRecordsAfterThem) {
    MemoryImage image;
    HexReaderState state;
    const auto data = HexRecord(0, 0xFFF0, {0xAB});

    ReadHexLine(data, image, state);
    EXPECT_EQ(image.LineStatus, 5) << "segment 0 at the start of a file";

    ReadHexLine(":020000021000EC", image, state);
    EXPECT_EQ(image.LineStatus, 0);
    EXPECT_EQ(image, MemoryImage{}) << "a segment record stores nothing";
    ReadHexLine(data, image, state);
    EXPECT_EQ(image.LineStatus, 5) << "0x1FFF0 lies below the image";

    ReadHexLine(Segment(0xF000), image, state);
    ReadHexLine(data, image, state);
    EXPECT_EQ(image.LineStatus, 0);
    EXPECT_EQ(image.CellAt(0xFFFF0), 0xAB);

    ReadHexLine(Segment(0xFFFF), image, state);
    ReadHexLine(HexRecord(0, 0x0000, {0x01}), image, state);
    EXPECT_EQ(image.LineStatus, 0) << "0xFFFF0 is still inside";
    ReadHexLine(HexRecord(0, 0x0010, {0x01}), image, state);
    EXPECT_EQ(image.LineStatus, 5) << "0x100000 lies past the image";
}

TEST(ReadHexLine, DamagedSegmentRecordIsRefusedAndKeepsTheSegment) {
    MemoryImage image;
    HexReaderState state{0xC000};
    ReadHexLine(":020000021000ED", image, state);
    EXPECT_EQ(image.LineStatus, 8);
    ReadHexLine(HexRecord(2, 0, {0x10, 0x00, 0x00}), image, state);
    EXPECT_EQ(image.LineStatus, 3);
    EXPECT_EQ(state.segment, 0xC000u);
}

TEST(ReadHexLine, LetterAsSecondTypeDigitReadsAsDataAndLowerCaseHexIsAccepted) {
    MemoryImage image;
    HexReaderState state{0xC000};
    // Type "0A": the letter reads as 0, so this is a data record; checksum over the pairs
    // counts 0x0A as the type byte.
    std::string line = HexRecord(0x0A, 0x0010, {0xAB});
    for (auto& ch : line) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ReadHexLine(line, image, state);
    EXPECT_EQ(image.LineStatus, 0) << line;
    EXPECT_EQ(image.Cell(0xC001, 0), 0xAB);
}

}  // namespace
}  // namespace vq
