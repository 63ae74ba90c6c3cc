// vqflash-cli --image: S-record and Intel HEX files made by srec_cat and objcopy end up in the
// radio's flash; a refused file stops the job before the port is opened.

#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "cli_rig.h"
#include "embedded_image.h"

namespace vq::test {
namespace {

using namespace std::chrono_literals;

// The carried image without 0xE0000..0xEFFFF, so that a job that ignored --image would show.
class ImageFiles : public CliTest {
  protected:
    void SetUp() override {
        const QString srecCat = ToolProgram(VQ_SREC_CAT);
        const QString objcopy = ToolProgram(VQ_OBJCOPY);
        if (srecCat.isEmpty() || objcopy.isEmpty()) {
            GTEST_SKIP() << "srec_cat and objcopy are needed to make the image files";
        }
        const QString carried = QStringLiteral(VQ_FIRMWARE_FILE);
        ASSERT_TRUE(RunTool(srecCat, {carried, "-exclude", "0xE0000", "0xF0000", "-o",
                                      Path("image.s28"), "-Address_Length=3"}));
        // objcopy starts a data record every 16 bytes from the start of each run of data;
        // one run from 0xC0000 keeps every record inside one row of the image.
        ASSERT_TRUE(RunTool(srecCat, {Path("image.s28"), "-fill", "0xFF", "0xC0000", "0x100000",
                                      "-o", Path("filled.s28"), "-Address_Length=3"}));
        ASSERT_TRUE(
            RunTool(objcopy, {"-I", "srec", "-O", "ihex", Path("filled.s28"), Path("image.hex")}));
        ASSERT_TRUE(RunTool(
            srecCat, {Path("image.s28"), "-fill", "0xFF", "0xC0000", "0x100000", "-crop", "0xC0000",
                      "0x100000", "-offset", "-0xC0000", "-o", Path("image.bin"), "-binary"}));
        QFile binary(Path("image.bin"));
        ASSERT_TRUE(binary.open(QIODevice::ReadOnly));
        m_content = binary.readAll();
        ASSERT_EQ(m_content.size(), 0x40000);
    }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

    QTemporaryDir m_dir;
    QByteArray m_content;  // 0xC0000..0xFFFFF of the files, as srec_cat reads them
};

class ImageFileFormats : public ImageFiles, public ::testing::WithParamInterface<const char*> {};

TEST_P(ImageFileFormats, FlashHoldsTheFilesContent) {
    const QString file = Path(GetParam());
    if (file.endsWith(".hex")) {
        QFile hex(file);
        ASSERT_TRUE(hex.open(QIODevice::ReadOnly));
        ASSERT_TRUE(hex.readAll().contains(":02000002")) << "no extended segment records";
    }
    const QByteArray wanted = m_content.left(kTopOfNormalRange - kFlashBase + 1);
    ASSERT_NE(wanted, ImageBytes(CarriedImage(), kFlashBase, kTopOfNormalRange));

    SimProcess& radio = StartRadio();
    const CliRun run = RunCli({"program", "--image", file, "--port", radio.device()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(run.out, "Completed.\n");
    EXPECT_TRUE(SameBytes(Dump(radio), wanted, kFlashBase));
}

INSTANTIATE_TEST_SUITE_P(Cli, ImageFileFormats, ::testing::Values("image.s28", "image.hex"),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "SRecord" : "IntelHex");
                         });

struct RefusedCase {
    const char* name;
    const char* fileName;
    QStringList lines;  // nothing: the file does not exist
    const char* message;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedImage : public CliTest, public ::testing::WithParamInterface<RefusedCase> {
  protected:
    // Writes the case's file, CR LF after each line, and returns its path.
    QString WriteFile(const RefusedCase& c) {
        const QString path = m_dir.filePath(QString::fromUtf8(c.fileName));
        if (c.lines.isEmpty()) return path;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        for (const QString& line : c.lines) file.write(line.toUtf8() + "\r\n");
        return path;
    }

    QTemporaryDir m_dir;
};

QString CarriedLine(std::size_t slot) {
    const std::string_view line = EmbeddedImage::CarriedLines()[slot];
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

// The loader's own message, status 3, and the radio is never opened.
TEST_P(RefusedImage, EndsTheJobBeforeThePortIsOpened) {
    const RefusedCase& c = GetParam();
    const QString file = WriteFile(c);
    SimProcess& radio = StartRadio();
    const CliRun run = RunCli({"program", "--image", file, "--port", radio.device()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, QString(c.message) + "\n");
    EXPECT_FALSE(radio.waitForLog("open", 1, 300ms));
}

TEST_P(RefusedImage, EndsAJobOnSeveralRadiosOnceBeforeAnyPortIsOpened) {
    const RefusedCase& c = GetParam();
    const QString file = WriteFile(c);
    SimProcess& first = StartRadio();
    SimProcess& second = StartRadio();
    const CliRun run =
        RunCli({"program", "--image", file, "--port", first.device(), "--port", second.device()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, QString(c.message) + "\n");
    EXPECT_FALSE(first.waitForLog("open", 1, 300ms));
    EXPECT_FALSE(second.waitForLog("open", 1, 300ms));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RefusedImage,
    ::testing::Values(RefusedCase{"SRecordWithEmptyThirdLine",
                                  "image.s28",
                                  {CarriedLine(0), CarriedLine(1), "", CarriedLine(2)},
                                  "Error Code = 9 ; line number = 3"},
                      RefusedCase{"HexWithBadChecksum",
                                  "IMAGE.HEX",
                                  {":02000002C0003C", ":0400000001020304F1"},
                                  "Error Code = 8 ; line number = 2"},
                      RefusedCase{"SRecordOutsideTheImage",
                                  "image.mot",
                                  {CarriedLine(0), "S1060000010203F3"},
                                  "File Open Error"},
                      RefusedCase{"MissingFile", "missing.s28", {}, "File Open Error"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vq::test
