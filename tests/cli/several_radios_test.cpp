// One vqflash-cli program call with --port twice programs both radios at once.

#include <QProcess>
#include <chrono>

#include "cli_rig.h"

namespace vq::test {
namespace {

struct SeveralCase {
    const char* name;
    QStringList secondRadioOptions;
    int exitCode;
    const char* secondSummary;  // the second radio's summary line behind its port
};

void PrintTo(const SeveralCase& c, std::ostream* os) {
    *os << c.name;
}

class SeveralRadios : public CliTest, public ::testing::WithParamInterface<SeveralCase> {};

TEST_P(SeveralRadios, EachRadioIsProgrammedAndSummedUpOnItsOwn) {
    const SeveralCase& c = GetParam();
    SimProcess& first = StartRadio();
    SimProcess& second = StartRadio(c.secondRadioOptions);
    const CliRun run = RunCli({"program", "--port", first.device(), "--port", second.device()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.outLines(), QStringList({first.device() + ": Completed. (exit 0)",
                                           second.device() + ": " + c.secondSummary}));

    // Every progress line names its radio; the first radio's lines go through its blocks.
    const std::size_t blocks = UsedBlocks(CarriedImage(), kTopOfNormalRange / 16).size();
    qsizetype firstLines = 0;
    for (const QString& line : run.errLines()) {
        const bool ofFirst = line.startsWith("[" + first.device() + "] ");
        EXPECT_TRUE(ofFirst || line.startsWith("[" + second.device() + "] ")) << line.toStdString();
        firstLines += ofFirst;
    }
    EXPECT_EQ(firstLines, static_cast<qsizetype>(blocks));

    const QByteArray image = ImageBytes(CarriedImage(), kFlashBase, kTopOfNormalRange);
    EXPECT_TRUE(SameBytes(Dump(first), image, kFlashBase));
    if (c.exitCode == 0) {
        EXPECT_TRUE(SameBytes(Dump(second), image, kFlashBase));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SeveralRadios,
    ::testing::Values(
        SeveralCase{"BothSucceed", {}, 0, "Completed. (exit 0)"},
        SeveralCase{"SecondOfAnotherRegion", {"--region-error"}, 1, "Region error (exit 4)"},
        SeveralCase{
            "SecondRefusesABlock", {"--block-token", "C0000:NG:10"}, 1, "Write failed. (exit 8)"}),
    [](const auto& info) { return std::string(info.param.name); });

// The jobs overlap: a slow radio first in line has begun, and not yet ended, when the quick
// one behind it is done.
TEST_F(CliTest, RadiosAreProgrammedAtTheSameTime) {
    using namespace std::chrono_literals;
    SimProcess& slow = StartRadio({"--late", "10"});
    SimProcess& quick = StartRadio();
    QProcess cli;
    cli.start(QStringLiteral(VQ_CLI_PROGRAM),
              {"--quiet", "program", "--port", slow.device(), "--port", quick.device()});

    ASSERT_TRUE(quick.waitForLog("request flash-end", 1, 30s));
    EXPECT_FALSE(slow.logLines("request identify").isEmpty());
    EXPECT_TRUE(slow.logLines("request flash-end").isEmpty());
    ASSERT_TRUE(cli.waitForFinished(60'000));
    EXPECT_EQ(cli.exitCode(), 0);
}

}  // namespace
}  // namespace vq::test
