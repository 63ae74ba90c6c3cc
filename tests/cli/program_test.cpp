// vqflash-cli program (and one single step) against the simulated radio: the flash it leaves,
// the exit status and message of every way the job can end, and the progress on stderr.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QProcess>

#include "cli_rig.h"

namespace vq::test {
namespace {

struct SuccessCase {
    const char* name;
    QStringList options;  // besides program and --port
    const char* settings;
    std::uint32_t topWritten;
};

void PrintTo(const SuccessCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgramSucceeds : public CliTest, public ::testing::WithParamInterface<SuccessCase> {};

TEST_P(ProgramSucceeds, FlashHoldsTheImageAndOnlyUsedBlocksWereSent) {
    const SuccessCase& c = GetParam();
    SimProcess& radio = StartRadio();
    const CliRun run = RunCli(QStringList{"program", "--port", radio.device()} + c.options);

    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Completed.\n");
    const QStringList kinds = RequestKinds(radio);
    ASSERT_FALSE(kinds.isEmpty());
    EXPECT_EQ(kinds.first(), "identify");
    EXPECT_EQ(kinds.last(), "flash-end");
    EXPECT_EQ(WrittenBlocks(radio), UsedBlocks(CarriedImage(), c.topWritten / 16));
    const QStringList settings = RequestFields(radio, "settings");
    EXPECT_EQ(settings.count(c.settings), settings.size()) << settings.join(' ').toStdString();
    EXPECT_TRUE(
        SameBytes(Dump(radio), ImageBytes(CarriedImage(), kFlashBase, c.topWritten), kFlashBase));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ProgramSucceeds,
    ::testing::Values(SuccessCase{"Defaults", {}, "57600,n,8,1", kTopOfNormalRange},
                      SuccessCase{"Baud9600", {"--baud", "9600"}, "9600,n,8,1", kTopOfNormalRange},
                      SuccessCase{
                          "Baud38400", {"--baud", "38400"}, "38400,n,8,1", kTopOfNormalRange},
                      SuccessCase{"FullRange", {"--full-range"}, "57600,n,8,1", kTopOfFlash}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    QStringList radioOptions;
    QStringList command;
    int exitCode;
    const char* message;
    const char* lastRequest;  // the kind of the last request the radio saw, "" for none
    int lastRequestCount;     // how many requests of that kind it saw
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class JobFails : public CliTest, public ::testing::WithParamInterface<FailureCase> {};

// Each step's failure has its own status and the window's message, and nothing is sent
// after the failing step.
TEST_P(JobFails, WithTheStepsStatusAndMessage) {
    const FailureCase& c = GetParam();
    SimProcess& radio = StartRadio(c.radioOptions);
    const CliRun run = RunCli(c.command + QStringList{"--port", radio.device()});

    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, QString(c.message) + "\n");
    const QStringList kinds = RequestKinds(radio);
    if (*c.lastRequest == '\0') {
        EXPECT_TRUE(kinds.isEmpty()) << kinds.join(' ').toStdString();
    } else {
        ASSERT_FALSE(kinds.isEmpty());
        EXPECT_EQ(kinds.last(), c.lastRequest);
        EXPECT_EQ(kinds.count(c.lastRequest), c.lastRequestCount);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, JobFails,
    ::testing::Values(
        FailureCase{
            "RegionError", {"--region-error"}, {"program"}, 4, "Region error", "identify", 1},
        // The one real time-out of the suite: identification waits its five seconds.
        FailureCase{"SilentRadio", {"--silent"}, {"program"}, 5, "Error", "", 0},
        FailureCase{"ConnectAnsweredOk",
                    {"--token-for", "connect-flash:OK"},
                    {"program"},
                    6,
                    "Connect failed.",
                    "connect-flash",
                    1},
        FailureCase{"EraseAnsweredNg",
                    {"--token-for", "flash-erase:NG"},
                    {"program"},
                    7,
                    "Erase failed.",
                    "flash-erase",
                    3},
        // Only BE counts as erased.
        FailureCase{"EraseAnsweredOk",
                    {"--token-for", "flash-erase:OK"},
                    {"program"},
                    7,
                    "Erase failed.",
                    "flash-erase",
                    1},
        FailureCase{"FirstBlockAnsweredNgTenTimes",
                    {"--block-token", "C0000:NG:10"},
                    {"program"},
                    8,
                    "Write failed.",
                    "flash-write",
                    10},
        // Only ED counts as the end; the radio has left flash mode all the same.
        FailureCase{"DisconnectAnsweredOk",
                    {"--token-for", "flash-end:OK"},
                    {"program"},
                    9,
                    "Disconnect failed.",
                    "flash-end",
                    1},
        FailureCase{"ConnectStepAnsweredOk",
                    {"--token-for", "connect-flash:OK"},
                    {"connect"},
                    6,
                    "Connect failed.",
                    "connect-flash",
                    1}),
    [](const auto& info) { return std::string(info.param.name); });

// The line cut in the middle of a frame is a port failure, not a wrong answer; the job still
// ends with the status of the step it was in.
TEST_F(CliTest, LineCutDuringTheEraseFrameEndsWithEraseFailed) {
    SimProcess& radio = StartRadio({"--unplug-in-frame", "1", "--unplug-after-bytes", "600"});
    const CliRun run = RunCli({"program", "--port", radio.device()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(run.out, "Erase failed.\n");
}

struct VerboseCase {
    const char* name;
    QStringList radioOptions;
    QStringList command;
    int exitCode;
    QStringList causeLines;  // wanted on stderr, in this order
};

void PrintTo(const VerboseCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedAttempts : public CliTest, public ::testing::WithParamInterface<VerboseCase> {};

TEST_P(FailedAttempts, AreExplainedOnlyWithVerbose) {
    const VerboseCase& c = GetParam();
    SimProcess& radio = StartRadio(c.radioOptions);
    const CliRun run = RunCli(c.command + QStringList{"--port", radio.device()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode);
    QStringList causes;
    for (const QString& line : run.errLines()) {
        if (line.contains("attempt")) causes << line;
    }
    EXPECT_EQ(causes, c.causeLines);
}

// The cause lines of attempts 1..last of an operation that allows `of` attempts; erase and
// end name no block.
QStringList Causes(const char* block, int last, int of, const char* token) {
    QStringList lines;
    for (int attempt = 1; attempt <= last; ++attempt) {
        lines << QString("%1attempt %2 of %3 failed: the radio answered %4")
                     .arg(*block ? QString(block) + ": " : QString())
                     .arg(attempt)
                     .arg(of)
                     .arg(token);
    }
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FailedAttempts,
    ::testing::Values(VerboseCase{"BlockRefusedTwice",
                                  {"--block-token", "C0400:NG:2"},
                                  {"--verbose", "program"},
                                  0,
                                  Causes("C0400", 2, 10, "NG")},
                      VerboseCase{
                          "WithoutVerbose", {"--block-token", "C0400:NG:2"}, {"program"}, 0, {}},
                      VerboseCase{"EraseRefused",
                                  {"--token-for", "flash-erase:RA"},
                                  {"--verbose", "program"},
                                  7,
                                  Causes("", 3, 3, "RA")},
                      VerboseCase{"BlockAnsweredWithAnUnknownToken",
                                  {"--block-token", "C0000:XY:1"},
                                  {"--verbose", "program"},
                                  0,
                                  Causes("C0000", 1, 10, "an unknown token")}),
    [](const auto& info) { return std::string(info.param.name); });

QString HexAddress(std::uint32_t address) {
    return QString::number(address, 16).toUpper().rightJustified(5, u'0');
}

// On a pipe every block gets a line of its own, in the order written, counting up.
TEST_F(CliTest, ProgressOnAPipeIsOneLinePerBlock) {
    SimProcess& radio = StartRadio();
    const CliRun run = RunCli({"program", "--port", radio.device()});
    ASSERT_EQ(run.exitCode, 0);

    const std::vector<std::uint32_t> blocks = UsedBlocks(CarriedImage(), kTopOfNormalRange / 16);
    const QStringList lines = run.errLines();
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(blocks.size())) << run.err.toStdString();
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const QString start =
            QString("%1 %2/%3 blocks ").arg(HexAddress(blocks[i])).arg(i + 1).arg(blocks.size());
        EXPECT_TRUE(lines[i].startsWith(start))
            << lines[i].toStdString() << " does not start with " << start.toStdString();
        EXPECT_TRUE(lines[i].contains(" B/s ") && lines[i].endsWith(" left"))
            << lines[i].toStdString();
    }
}

TEST_F(CliTest, QuietShowsNoProgress) {
    SimProcess& radio = StartRadio();
    const CliRun run = RunCli({"--quiet", "program", "--port", radio.device()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Completed.\n");
    EXPECT_EQ(run.err, "");
}

// On a terminal the progress is one line rewritten in place, ended once the job is over.
TEST_F(CliTest, ProgressOnATerminalIsOneUpdatingLine) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);  // the bytes as written, without a CR added to each LF
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    SimProcess& radio = StartRadio();
    QProcess cli;
    cli.setChildProcessModifier([slave] { dup2(slave, STDERR_FILENO); });
    cli.start(QStringLiteral(VQ_CLI_PROGRAM), {"program", "--port", radio.device()});
    QByteArray terminal;
    const auto drain = [&] {
        char buffer[4096];
        ssize_t n;
        while ((n = read(master, buffer, sizeof buffer)) > 0) terminal.append(buffer, n);
    };
    // The terminal holds only a few KiB; reading it as the tool writes keeps it from blocking.
    while (!cli.waitForFinished(20)) {
        drain();
        ASSERT_NE(cli.state(), QProcess::NotRunning);
    }
    drain();
    close(slave);
    close(master);

    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.readAllStandardOutput(), "Completed.\n");
    const std::vector<std::uint32_t> used = UsedBlocks(CarriedImage(), kTopOfNormalRange / 16);
    const auto blocks = used.size();
    ASSERT_TRUE(terminal.endsWith('\n'));
    EXPECT_EQ(terminal.count('\n'), 1) << terminal.toStdString();
    EXPECT_GE(static_cast<std::size_t>(terminal.count('\r')), blocks);
    const QByteArray last = terminal.mid(terminal.lastIndexOf('\r') + 1);
    const QString wanted = QString("%1  %2/%2 blocks").arg(HexAddress(used.back())).arg(blocks);
    EXPECT_TRUE(last.startsWith(wanted.toUtf8())) << last.toStdString();
}

}  // namespace
}  // namespace vq::test
