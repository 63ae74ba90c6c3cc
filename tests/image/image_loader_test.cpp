#include "image_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "file_text_input.h"
#include "srecord_reader.h"

namespace vq {
namespace {

namespace fs = std::filesystem;

// Real files in a temporary folder, read through the file-system text input.
class LoadImageFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("vq_loader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& content) {
        const auto path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    LoadOutcome Load(const std::string& path) { return LoadImageFile(path, m_files, image); }

    MemoryImage image;
    FileTextInput m_files;
    fs::path m_dir;
};

// 0xC0000: 01 02 03; 0xC0010: 04 05.
constexpr const char* kSRecordLine1 = "S2070C0000010203E6";
constexpr const char* kSRecordLine2 = "S2060C00100405D4";
constexpr const char* kHexLines[] = {":02000002C0003C", ":03000000010203F7", ":020010000405E5"};

MemoryImage Expected() {
    MemoryImage expected;
    ReadSRecordLine(kSRecordLine1, expected);
    ReadSRecordLine(kSRecordLine2, expected);
    return expected;
}

TEST_F(LoadImageFileTest, ChoosesTheReaderByTheLastThreeLettersOfTheName) {
    const std::string srec = std::string(kSRecordLine1) + "\r\n" + kSRecordLine2 + "\r\n";
    const std::string hex = std::string(kHexLines[0]) + "\n" + kHexLines[1] + "\r" + kHexLines[2] +
                            "\r\n:00000001FF\r\n";
    for (const char* name : {"image.Hex", "IMAGE.HEX", "plain.hex"}) {
        image.ClearImage();
        EXPECT_TRUE(Load(Write(name, hex)).loaded()) << name;
        EXPECT_EQ(image, Expected()) << name;
    }
    for (const char* name : {"image.mot", "image.s19", "noextension", "hex.txt"}) {
        image.ClearImage();
        EXPECT_TRUE(Load(Write(name, srec)).loaded()) << name;
        EXPECT_EQ(image, Expected()) << name;
    }
}

TEST_F(LoadImageFileTest, LinesEndAtCrLfCrOrLf) {
    const std::string content =
        std::string(kSRecordLine1) + "\r" + kSRecordLine2 + "\n" + "S9030000FC";
    EXPECT_TRUE(Load(Write("mixed.s28", content)).loaded());
    EXPECT_EQ(image, Expected());
}

TEST_F(LoadImageFileTest, RefusedLineIsReportedAndTheEarlierImageKept) {
    image.Store(0xD000, 0, 0x42);
    const MemoryImage before = image;
    const auto outcome =
        Load(Write("third.s28", std::string(kSRecordLine1) + "\r\n" + kSRecordLine2 + "\r\n\r\n"));
    EXPECT_EQ(outcome.kind, LoadOutcome::Kind::RefusedLine);
    EXPECT_EQ(outcome.message(), "Error Code = 9 ; line number = 3");
    EXPECT_EQ(image.LineStatus, 9);
    EXPECT_EQ(image, before);

    const auto hexOutcome = Load(Write("bad.hex", ":00000001FF\r\n:0300000001\r\n"));
    EXPECT_EQ(hexOutcome.message(), "Error Code = 1 ; line number = 2")
        << "the end record does not end the reading";
    EXPECT_EQ(image, before);
}

TEST_F(LoadImageFileTest, FileFailuresAreFileOpenErrorsAndKeepTheImage) {
    image.Store(0xD000, 0, 0x42);
    const MemoryImage before = image;

    Load(Write("refused.s28", "nonsense\r\n"));
    const auto missing = Load((m_dir / "missing.s28").string());
    EXPECT_EQ(missing.kind, LoadOutcome::Kind::FileError);
    EXPECT_EQ(missing.message(), "File Open Error");
    EXPECT_EQ(image.LineStatus, 0);

    const auto s1 = Load(Write("s1.s19", std::string(kSRecordLine1) + "\r\nS1051234AABB4F\r\n"));
    EXPECT_EQ(s1.kind, LoadOutcome::Kind::FileError) << "an S1 data record lies outside";

    const auto dir = Load(m_dir.string());
    EXPECT_EQ(dir.kind, LoadOutcome::Kind::FileError);
    EXPECT_EQ(image, before);
}

TEST_F(LoadImageFileTest, AnEmptyFileLoadsAnErasedImage) {
    image.Store(0xD000, 0, 0x42);
    EXPECT_TRUE(Load(Write("empty.s28", "")).loaded());
    EXPECT_EQ(image, MemoryImage{});
}

TEST_F(LoadImageFileTest, HexSegmentStartsAtZeroInEveryFile) {
    const std::string withSegment = std::string(kHexLines[0]) + "\n" + kHexLines[1] + "\n";
    ASSERT_TRUE(Load(Write("a.hex", withSegment)).loaded());
    const auto outcome = Load(Write("b.hex", std::string(kHexLines[1]) + "\n"));
    EXPECT_EQ(outcome.message(), "Error Code = 5 ; line number = 1");
}

}  // namespace
}  // namespace vq
