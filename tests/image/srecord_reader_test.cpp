#include "srecord_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vq {
namespace {

// Builds a well-formed record of the type with its checksum, so tests name only address and
// data.
std::string Record(int type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
    const int addressBytes = type + 1;
    const unsigned count = static_cast<unsigned>(addressBytes + data.size() + 1);
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "S%d%02X", type, count);
    std::string line = buffer;
    unsigned sum = count;
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        std::snprintf(buffer, sizeof buffer, "%02X", byte);
        line += buffer;
        sum += byte;
    }
    for (const auto byte : data) {
        std::snprintf(buffer, sizeof buffer, "%02X", byte);
        line += buffer;
        sum += byte;
    }
    std::snprintf(buffer, sizeof buffer, "%02X", ~sum & 0xFF);
    return line + buffer;
}

std::vector<std::uint8_t> Counting(std::size_t n, std::uint8_t first = 0x10) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

TEST(ReadSRecordLine, HeaderAndTerminationRecordsAreAcceptedWithoutEffect) {
    for (const char* line : {"S0030000FC", "S804000000FB", "S5030001FB", "S9030000FC"}) {
        MemoryImage image;
        image.LineStatus = 7;
        ReadSRecordLine(line, image);
        EXPECT_EQ(image.LineStatus, 0) << line;
        EXPECT_EQ(image, MemoryImage{}) << line;
    }
}

TEST(ReadSRecordLine, LinesNotStartingWithCapitalSGetStatus9) {
    for (const char* line : {"", "s2080C0000AABBCC00", ":020000021000EC", " S0030000FC"}) {
        MemoryImage image;
        ReadSRecordLine(line, image);
        EXPECT_EQ(image.LineStatus, 9) << '"' << line << '"';
        EXPECT_EQ(image, MemoryImage{});
    }
}

TEST(ReadSRecordLine, RecordsCrossRowBoundaries) {
    MemoryImage image;
    const auto data = Counting(16);
    ReadSRecordLine(Record(2, 0xC03F8, data), image);
    ASSERT_EQ(image.LineStatus, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(image.Cell(0xC03F, 8 + i), data[i]);
        EXPECT_EQ(image.Cell(0xC040, i), data[8 + i]);
    }
    EXPECT_EQ(image.Cell(0xC040, 8), 0xFF);
    EXPECT_TRUE(image.RowUsed(0xC03F));
    EXPECT_TRUE(image.RowUsed(0xC040));
}

TEST(ReadSRecordLine, S3AddressesReachTheImageThroughTheirRowDigits) {
    MemoryImage image;
    ReadSRecordLine(Record(3, 0x000C0000, {0x42}), image);
    EXPECT_EQ(image.Cell(0xC000, 0), 0x42);
    EXPECT_THROW(ReadSRecordLine(Record(3, 0x00100000, {0x42}), image), OutOfRangeFailure);
}

TEST(ReadSRecordLine, DataOutsideTheImageFailsAtTheFirstByteOutside) {
    MemoryImage image;
    EXPECT_THROW(ReadSRecordLine(Record(2, 0xBFFF8, Counting(4)), image), OutOfRangeFailure);
    EXPECT_EQ(image, MemoryImage{});
    // Every S1 record with data: its three row digits cannot reach row 0xC000.
    EXPECT_THROW(ReadSRecordLine(Record(1, 0x1234, {0x01}), image), OutOfRangeFailure);

    ReadSRecordLine(Record(2, 0xFFFFC, Counting(4)), image);
    EXPECT_EQ(image.LineStatus, 0);
    EXPECT_EQ(image.CellAt(0xFFFFF), 0x13);

    MemoryImage overrun;
    EXPECT_THROW(ReadSRecordLine(Record(2, 0xFFFFC, Counting(5)), overrun), OutOfRangeFailure);
    EXPECT_EQ(overrun.LineStatus, 0);
    EXPECT_EQ(overrun.CellAt(0xFFFFC), 0x10) << "bytes before the failing one stay stored";
    EXPECT_EQ(overrun.CellAt(0xFFFFF), 0x13);
}

TEST(ReadSRecordLine, AllFFDataIsStoredWithoutMarkingRows) {
    MemoryImage image;
    image.Store(0xC100, 0, 0x00);
    image.ClearImage();
    image.Store(0xC100, 1, 0x55);
    ReadSRecordLine(Record(2, 0xC1000, std::vector<std::uint8_t>(16, 0xFF)), image);
    EXPECT_EQ(image.Cell(0xC100, 1), 0xFF);
    EXPECT_TRUE(image.RowUsed(0xC100));
    ReadSRecordLine(Record(2, 0xC2000, std::vector<std::uint8_t>(16, 0xFF)), image);
    EXPECT_FALSE(image.RowUsed(0xC200));
}

TEST(ReadSRecordLine, LowerCaseHexReadsLikeUpperCase) {
    std::string line = Record(2, 0xCABC0, {0xAB, 0xCD, 0xEF});
    MemoryImage upper;
    ReadSRecordLine(line, upper);
    for (std::size_t i = 2; i < line.size(); ++i)
        line[i] = static_cast<char>(std::tolower(line[i]));
    MemoryImage lower;
    ReadSRecordLine(line, lower);
    EXPECT_EQ(lower.LineStatus, 0);
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(lower.CellAt(0xCABC2), 0xEF);
}

// A damaged data record is refused whole, before any byte reaches the image.
TEST(ReadSRecordLine, DamagedDataRecordsAreRefusedBeforeAnyStore) {
    const std::string good = Record(2, 0xC0000, Counting(8));
    std::string badChecksum = good;
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    std::string badData = good;
    badData[10] = badData[10] == '1' ? '2' : '1';
    struct Case {
        std::string line;
        std::int16_t status;
    };
    const std::vector<Case> cases = {
        {badChecksum, 8},        {badData, 8}, {good.substr(0, good.size() - 1), 3},
        {good.substr(0, 12), 3}, {"S2", 3},    {"S1", 3},
    };
    for (const auto& c : cases) {
        MemoryImage image;
        ReadSRecordLine(c.line, image);
        EXPECT_EQ(image.LineStatus, c.status) << c.line;
        EXPECT_EQ(image, MemoryImage{}) << c.line;
    }
}

TEST(ReadSRecordLine, CountTooSmallForTheAddressStoresNothing) {
    MemoryImage image;
    ReadSRecordLine("S2030C00F0", image);  // count 3: address only partly, no data
    EXPECT_EQ(image.LineStatus, 0);
    EXPECT_EQ(image, MemoryImage{});
}

}  // namespace
}  // namespace vq
