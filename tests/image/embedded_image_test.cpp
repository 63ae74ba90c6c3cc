#include "embedded_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "memory_image.h"
#include "srecord_reader.h"

namespace vq {
namespace {

constexpr std::size_t kCarriedLineCount = 6946;
constexpr std::uint32_t kImageBytes = 0x40000;
constexpr std::uint32_t kRowsPerBlock = 64;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// An S2 line taken apart here, without the tool's reader, so the two can be held against
// each other.
struct DataRecord {
    bool wellFormed = false;  // "S2", hex pairs only, as long as its count says
    bool checksumHolds = false;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
    std::size_t lineLength = 0;
    std::uint32_t End() const { return address + static_cast<std::uint32_t>(data.size()); }
};

DataRecord ParseDataRecord(std::string_view line) {
    DataRecord record;
    record.lineLength = line.size();
    if (line.size() < 12 || line.size() % 2 != 0 || line.substr(0, 2) != "S2") return record;
    std::vector<std::uint32_t> pairs;
    for (std::size_t i = 2; i < line.size(); i += 2) {
        const int high = HexDigit(line[i]);
        const int low = HexDigit(line[i + 1]);
        if (high < 0 || low < 0) return record;
        pairs.push_back(static_cast<std::uint32_t>(high * 16 + low));
    }
    // The count covers address, data and checksum.
    if (pairs[0] + 1 != pairs.size() || pairs[0] < 5) return record;
    record.wellFormed = true;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < pairs.size(); ++i) sum += pairs[i];
    record.checksumHolds = ((~sum) & 0xFF) == pairs.back();
    record.address = pairs[1] << 16 | pairs[2] << 8 | pairs[3];
    for (std::size_t i = 4; i + 1 < pairs.size(); ++i) {
        record.data.push_back(static_cast<std::uint8_t>(pairs[i]));
    }
    return record;
}

// Startup's reading, as the tool does it: clear, fill the table, read every slot in use.
class CarriedImage : public testing::Test {
  protected:
    void SetUp() override {
        m_image->ClearImage();
        m_embedded->FillEmbeddedLines();
        ASSERT_NO_THROW(m_embedded->ReadInto(*m_image));
        const auto count = static_cast<std::size_t>(m_embedded->EmbeddedLineCount);
        ASSERT_EQ(count, kCarriedLineCount);
        for (std::size_t slot = 1; slot + 1 < count; ++slot) {
            m_records.push_back(ParseDataRecord(m_embedded->EmbeddedLines[slot]));
        }
    }

    std::unique_ptr<EmbeddedImage> m_embedded = std::make_unique<EmbeddedImage>();
    std::unique_ptr<MemoryImage> m_image = std::make_unique<MemoryImage>();
    std::vector<DataRecord> m_records;  // slots 1..6944
};

TEST_F(CarriedImage, TableHoldsTheCarriedLinesInOrderAndNothingBeyond) {
    const auto carried = EmbeddedImage::CarriedLines();
    ASSERT_EQ(carried.size(), kCarriedLineCount);
    EXPECT_EQ(m_embedded->EmbeddedLines[0], "S0030000FC");
    EXPECT_EQ(m_embedded->EmbeddedLines[6945], "S804000000FB");
    // Slot by slot, so a stage of the filling that skips or shifts lines shows at its border.
    for (std::size_t slot = 0; slot < kCarriedLineCount; ++slot) {
        ASSERT_EQ(m_embedded->EmbeddedLines[slot], carried[slot]) << "slot " << slot;
        ASSERT_FALSE(m_embedded->EmbeddedLines[slot].empty()) << "slot " << slot;
    }
    for (std::size_t slot = kCarriedLineCount; slot < EmbeddedImage::kCapacity; ++slot) {
        ASSERT_TRUE(m_embedded->EmbeddedLines[slot].empty()) << "slot " << slot;
    }
}

TEST_F(CarriedImage, EveryDataLineIsAnIntactS2Record) {
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const std::size_t slot = i + 1;
        ASSERT_TRUE(m_records[i].wellFormed)
            << "slot " << slot << ": " << m_embedded->EmbeddedLines[slot];
        EXPECT_TRUE(m_records[i].checksumHolds) << "slot " << slot;
    }
}

TEST_F(CarriedImage, RecordsLieInTheImageAsInTheRealFirmware) {
    ASSERT_EQ(m_records.size(), 6944u);
    const DataRecord& first = m_records.front();
    EXPECT_EQ(first.address, 0xC0000u);
    EXPECT_EQ(first.data.size(), 8u);
    EXPECT_EQ(first.lineLength, 28u);
    const DataRecord& last = m_records.back();
    EXPECT_EQ(last.address, 0xFFFFCu);
    EXPECT_EQ(last.data.size(), 4u);
    EXPECT_EQ(last.lineLength, 20u);
    EXPECT_EQ(last.End(), 0x100000u);

    std::size_t gaps = 0, full = 0, shorter = 0, columnZero = 0;
    std::uint32_t gapBytes = 0, dataBytes = 0;
    std::size_t shortest = 1000, longest = 0;
    std::uint32_t next = 0xC0000;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const DataRecord& record = m_records[i];
        ASSERT_TRUE(record.wellFormed) << "record " << i + 1;
        ASSERT_GE(record.address, next) << "record " << i + 1 << " overlaps the one before";
        if (record.address > next) {
            ++gaps;
            gapBytes += record.address - next;
        }
        next = record.End();
        dataBytes += static_cast<std::uint32_t>(record.data.size());
        ASSERT_GE(record.data.size(), 1u);
        ASSERT_LE(record.data.size(), 32u);
        (record.data.size() == 32 ? full : shorter) += 1;
        columnZero += record.address % 16 == 0;
        shortest = std::min(shortest, record.lineLength);
        longest = std::max(longest, record.lineLength);
    }
    EXPECT_EQ(dataBytes, 220296u);
    EXPECT_EQ(gaps, 42u);
    EXPECT_EQ(gapBytes, 41848u);
    EXPECT_EQ(full, 6830u);
    EXPECT_EQ(shorter, 114u);
    EXPECT_EQ(columnZero, 1010u);
    EXPECT_EQ(shortest, 14u);
    EXPECT_EQ(longest, 76u);
}

TEST_F(CarriedImage, ReaderAcceptsEveryLineAndFillsTheImageLineByLine) {
    auto probe = std::make_unique<MemoryImage>();
    for (std::size_t slot = 0; slot < kCarriedLineCount; ++slot) {
        probe->LineStatus = -1;
        ASSERT_NO_THROW(ReadSRecordLine(m_embedded->EmbeddedLines[slot], *probe)) << slot;
        ASSERT_EQ(probe->LineStatus, 0) << "slot " << slot;
    }
    EXPECT_TRUE(*probe == *m_image);
}

TEST_F(CarriedImage, ImageHoldsExactlyTheRecordsBytesAndEverythingElseIsErased) {
    // What the records say the image must be; a row is used only by a byte other than 0xFF.
    std::vector<std::uint8_t> expected(kImageBytes, 0xFF);
    std::vector<bool> rowUsed(kImageBytes / 16, false);
    for (const DataRecord& record : m_records) {
        for (std::size_t i = 0; i < record.data.size(); ++i) {
            const std::uint32_t offset = record.address + static_cast<std::uint32_t>(i) - 0xC0000;
            expected[offset] = record.data[i];
            if (record.data[i] != 0xFF) rowUsed[offset / 16] = true;
        }
    }
    std::size_t wrongCells = 0, wrongRows = 0;
    for (std::uint32_t offset = 0; offset < kImageBytes; ++offset) {
        if (m_image->CellAt(0xC0000 + offset) != expected[offset]) {
            if (wrongCells++ == 0)
                ADD_FAILURE() << "first wrong cell at " << std::hex << 0xC0000 + offset;
        }
    }
    for (std::uint32_t row = 0; row < kImageBytes / 16; ++row) {
        if (m_image->RowUsed(0xC000 + row) != rowUsed[row]) {
            if (wrongRows++ == 0)
                ADD_FAILURE() << "first wrong row flag at " << std::hex << 0xC000 + row;
        }
    }
    EXPECT_EQ(wrongCells, 0u);
    EXPECT_EQ(wrongRows, 0u);

    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(m_image->CellAt(0xC0000 + i), m_records.front().data[i]) << i;
    }
    // The first byte after the first record that is followed by a gap.
    const auto beforeGap = std::adjacent_find(
        m_records.begin(), m_records.end(),
        [](const DataRecord& a, const DataRecord& b) { return b.address > a.End(); });
    ASSERT_NE(beforeGap, m_records.end());
    EXPECT_EQ(m_image->CellAt(beforeGap->End()), 0xFF);
}

TEST_F(CarriedImage, UsedRowsAndBlocksAreThoseOfTheRealFirmware) {
    std::uint32_t usedRows = 0, usedBlocks = 0;
    for (std::uint32_t block = 0; block < 256; ++block) {
        bool any = false;
        for (std::uint32_t r = 0; r < kRowsPerBlock; ++r) {
            const bool used = m_image->RowUsed(0xC000 + block * kRowsPerBlock + r);
            usedRows += used;
            any = any || used;
        }
        usedBlocks += any;
    }
    EXPECT_EQ(usedRows, 13767u);
    EXPECT_EQ(usedBlocks, 220u);
}

TEST_F(CarriedImage, HeaderAndTerminationLinesChangeNothing) {
    const std::string_view header = m_embedded->EmbeddedLines[0];
    const std::string_view termination = m_embedded->EmbeddedLines[kCarriedLineCount - 1];
    auto cleared = std::make_unique<MemoryImage>();
    auto probe = std::make_unique<MemoryImage>();
    for (const MemoryImage* start : {cleared.get(), m_image.get()}) {
        *probe = *start;
        ReadSRecordLine(header, *probe);
        EXPECT_EQ(probe->LineStatus, 0);
        ReadSRecordLine(termination, *probe);
        EXPECT_EQ(probe->LineStatus, 0);
        EXPECT_TRUE(*probe == *start);
    }
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The committed placeholder must be what the generator writes, so that it can be remade and
// reviewed from the generator's source.
TEST(PlaceholderFirmware, GeneratorWritesTheCommittedFileByteForByte) {
    const auto output = std::filesystem::temp_directory_path() /
                        ("vq_placeholder_" + std::to_string(::getpid()) + ".s28");
    const std::string command =
        std::string("'") + VQ_PLACEHOLDER_GENERATOR + "' '" + output.string() + "'";
    const int status = std::system(command.c_str());
    const std::string written = ReadWholeFile(output);
    std::filesystem::remove(output);
    ASSERT_EQ(status, 0) << command;

    const std::string committed = ReadWholeFile(VQ_PLACEHOLDER_FILE);
    ASSERT_FALSE(committed.empty()) << VQ_PLACEHOLDER_FILE;
    EXPECT_EQ(written.size(), committed.size());
    const auto [w, c] =
        std::mismatch(written.begin(), written.end(), committed.begin(), committed.end());
    EXPECT_TRUE(w == written.end() && c == committed.end())
        << "first difference at line " << std::count(written.begin(), w, '\n') + 1;
}

TEST(PlaceholderFirmware, CommittedFileIsUpperCaseHexWithCrLfLineEnds) {
    const std::string text = ReadWholeFile(VQ_PLACEHOLDER_FILE);
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++lines) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "line " << lines + 1 << " lacks CR LF";
        const std::string_view line(text.data() + at, end - at);
        ASSERT_EQ(line[0], 'S') << "line " << lines + 1;
        for (const char c : line.substr(1)) {
            ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
                << "line " << lines + 1 << ": " << line;
        }
        at = end + 2;
    }
    EXPECT_EQ(lines, kCarriedLineCount);
}

}  // namespace
}  // namespace vq
