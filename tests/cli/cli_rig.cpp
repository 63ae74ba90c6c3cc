#include "cli_rig.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "embedded_image.h"
#include "frames.h"

namespace vq::test {
namespace {

// No run of the tool in these tests comes near this; it only keeps a hung tool from hanging
// the suite.
constexpr int kGuardMs = 60'000;

}  // namespace

CliRun RunCli(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(VQ_CLI_PROGRAM), arguments);
    CliRun run;
    if (!process.waitForStarted(kGuardMs)) return run;
    if (!process.waitForFinished(kGuardMs)) {
        process.kill();
        process.waitForFinished(1000);
    } else {
        run.finished = process.exitStatus() == QProcess::NormalExit;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

const MemoryImage& CarriedImage() {
    static const auto image = [] {
        auto read = std::make_unique<MemoryImage>();
        auto carried = std::make_unique<EmbeddedImage>();
        carried->FillEmbeddedLines();
        carried->ReadInto(*read);
        return read;
    }();
    return *image;
}

QByteArray ImageBytes(const MemoryImage& image, std::uint32_t first, std::uint32_t last) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(last - first + 1));
    for (std::uint32_t address = first; address <= last; ++address) {
        bytes.append(static_cast<char>(image.CellAt(address)));
    }
    return bytes;
}

::testing::AssertionResult SameBytes(const QByteArray& got, const QByteArray& want,
                                     std::uint32_t base) {
    if (got.size() < want.size()) {
        return ::testing::AssertionFailure()
               << "only " << got.size() << " bytes, " << want.size() << " wanted";
    }
    for (qsizetype i = 0; i < want.size(); ++i) {
        if (got[i] != want[i]) {
            return ::testing::AssertionFailure()
                   << std::hex << std::uppercase << "first difference at "
                   << base + static_cast<std::uint32_t>(i) << ": "
                   << int{static_cast<std::uint8_t>(got[i])} << " where "
                   << int{static_cast<std::uint8_t>(want[i])} << " was wanted";
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::uint32_t> UsedBlocks(const MemoryImage& image, std::uint32_t lastRow) {
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t row = MemoryImage::kFirstRow; row <= lastRow; row += kRowsPerBlock) {
        if (BlockUsed(image, row)) blocks.push_back(row * MemoryImage::kColumns);
    }
    return blocks;
}

QString ToolProgram(const char* configured) {
    const QFileInfo program(QString::fromLocal8Bit(configured));
    return program.isExecutable() ? program.absoluteFilePath() : QString();
}

::testing::AssertionResult RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kGuardMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return ::testing::AssertionFailure()
               << program.toStdString() << " " << arguments.join(u' ').toStdString()
               << " failed: " << process.readAllStandardError().toStdString();
    }
    return ::testing::AssertionSuccess();
}

SimProcess& CliTest::StartRadio(QStringList options) {
    options << QStringLiteral("--dump") << QStringLiteral("flash.bin");
    m_radios.push_back(std::make_unique<SimProcess>(std::move(options)));
    EXPECT_TRUE(m_radios.back()->started()) << "vqradio-sim did not print its device";
    return *m_radios.back();
}

QByteArray CliTest::Dump(const SimProcess& radio) const {
    if (!radio.waitForLog(QStringLiteral("dump"), 1)) return {};
    QFile file(radio.path(QStringLiteral("flash.bin")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QStringList CliTest::RequestKinds(const SimProcess& radio) const {
    QStringList kinds;
    for (const QString& line : radio.logLines(QStringLiteral("request"))) {
        kinds << line.section(u' ', 1, 1);
    }
    return kinds;
}

QStringList CliTest::RequestFields(const SimProcess& radio, const QString& name) const {
    QStringList values;
    const QString prefix = name + u'=';
    for (const QString& line : radio.logLines(QStringLiteral("request"))) {
        for (const QString& field : line.split(u' ')) {
            if (field.startsWith(prefix)) values << field.mid(prefix.size());
        }
    }
    return values;
}

std::vector<std::uint32_t> CliTest::WrittenBlocks(const SimProcess& radio) const {
    std::vector<std::uint32_t> blocks;
    for (const QString& line : radio.logLines(QStringLiteral("request flash-write"))) {
        for (const QString& field : line.split(u' ')) {
            if (field.startsWith(u"address=")) blocks.push_back(field.mid(8).toUInt(nullptr, 16));
        }
    }
    return blocks;
}

}  // namespace vq::test
