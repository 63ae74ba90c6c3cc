#include <gtest/gtest.h>

#include <QSerialPort>
#include <QTemporaryDir>
#include <optional>
#include <ostream>

#include "fault_rig.h"

namespace vq::test {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

enum class PortState { Simulator, HeldByAnother, Absent };

struct FaultCase {
    const char* name;
    QStringList sim;  // vqradio-sim's fault options
    int blocks;       // used blocks of the image, from 0xC0000 up
    PortState port;
    const char* message;
    int exitStatus;
    Ms atLeast;  // the time the fault must cost, which shows it took effect
    Ms atMost;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

// A program job sends frame 1, the erase, then one write frame per block, then the end.
// Columns: name, simulator options, blocks, port, message, exit status, at least, at most.
// clang-format off
const FaultCase kCases[] = {
    {"LineClosedInTheFirstHalfOfAWriteFrame",
     {"--unplug-in-frame", "2", "--unplug-after-bytes", "300"},
     2, PortState::Simulator, "Write failed.", 8, 0ms, 3s},
    {"LineClosedInTheSecondHalfOfAWriteFrame",
     {"--unplug-in-frame", "2", "--unplug-after-bytes", "800"},
     2, PortState::Simulator, "Write failed.", 8, 0ms, 3s},
    {"LineClosedInTheEndFrame",
     {"--unplug-in-frame", "4", "--unplug-after-bytes", "1000"},
     2, PortState::Simulator, "Disconnect failed.", 9, 0ms, 3s},
    {"SilentAfterABlockThenBackWithGarbage",
     {"--silent-after-frames", "2", "--silent-for-bytes", "1032", "--garble-on-return"},
     2, PortState::Simulator, "Completed.", 0, 5s, 9s},
    {"OneAnswerAfterTheTimeOut",
     {"--late-once", "4:5500"},
     2, PortState::Simulator, "Completed.", 0, 5s, 10s},
    {"EveryAnswerJustInsideTheTimeOut",
     {"--late", "4900"},
     1, PortState::Simulator, "Completed.", 0, 24500ms, 30s},
    {"BytesOneAtATime",
     {"--byte-gap", "1"},
     1, PortState::Simulator, "Completed.", 0, 3s, 12s},
    {"EchoWithOneByteChanged",
     {"--echo-flip", "5"},
     2, PortState::Simulator, "Completed.", 0, 0ms, 3s},
    {"PortHeldByAnotherProgram", {}, 1, PortState::HeldByAnother, "Error", 5, 0ms, 2s},
    {"PortThatDoesNotExist", {}, 1, PortState::Absent, "Error", 5, 0ms, 2s},
};
// clang-format on

std::vector<std::uint32_t> FirstBlocks(int count) {
    std::vector<std::uint32_t> blocks;
    for (int i = 0; i < count; ++i) blocks.push_back(0xC0000 + 0x400 * static_cast<unsigned>(i));
    return blocks;
}

// Everything the radio's side shows once the tool let go of the line: as many closings as
// openings (a line that was unplugged has no side left to tell), and a job that said
// "Completed." left the image in the radio's flash.
void ExpectTheRadioAgrees(SimProcess& sim, const std::string& said, const MemoryImage& image) {
    if (sim.logLines(QStringLiteral("unplug")).isEmpty()) {
        const auto opens = sim.logLines(QStringLiteral("open")).size();
        EXPECT_TRUE(sim.waitForLog(QStringLiteral("close"), static_cast<int>(opens)));
        EXPECT_EQ(sim.logLines(QStringLiteral("close")).size(), opens);
    }
    sim.stop();
    if (said != "Completed.") return;
    EXPECT_EQ(MissingFromCompletedJob(LoggedRequests(sim), image), "");
    EXPECT_EQ(FirstDifference(sim.path(QStringLiteral("flash.bin")), image), std::nullopt);
}

class FaultTable : public ::testing::TestWithParam<FaultCase> {};

// The same job twice at once, against two simulators with the same fault: vqflash-cli program
// in a child process, and the operations in this process on the Qt port, where descriptors can
// be counted. Then both again against healthy radios.
TEST_P(FaultTable, EndsAsExpectedInBoundedTimeAndTheNextJobSucceeds) {
    const FaultCase& c = GetParam();
    QTemporaryDir scratch;
    const TestImage image = MakeImage(scratch.filePath("image.s28"), FirstBlocks(c.blocks));
    ASSERT_FALSE(image.path.isEmpty());
    InProcessTool tool;
    tool.image = image.image;
    const auto atStart = FileDescriptors();

    const QStringList options = QStringList(c.sim) << "--dump"
                                                   << "flash.bin";
    SimProcess forCli(options);
    SimProcess forTool(options);
    ASSERT_TRUE(forCli.started() && forTool.started());
    QString cliDevice = forCli.device();
    QString toolDevice = forTool.device();
    std::optional<QSerialPort> cliHolder;
    std::optional<QSerialPort> toolHolder;
    if (c.port == PortState::Absent) {
        cliDevice = toolDevice = scratch.filePath("ttyVQ9");
    } else if (c.port == PortState::HeldByAnother) {
        for (auto [holder, device] :
             {std::pair{&cliHolder, cliDevice}, {&toolHolder, toolDevice}}) {
            holder->emplace(device);
            ASSERT_TRUE((*holder)->open(QIODevice::ReadWrite)) << device.toStdString();
        }
    }

    const auto descriptors = FileDescriptors();
    CliJob cli(cliDevice, image.path);
    const auto start = Clock::now();
    const CommandOutcome outcome = tool.Program(toolDevice);
    const auto took = Clock::now() - start;
    ASSERT_TRUE(cli.finish(c.atMost + 5s)) << "vqflash-cli did not end";

    EXPECT_EQ(outcome.message, c.message);
    EXPECT_GE(took, c.atLeast);
    EXPECT_LE(took, c.atMost);
    EXPECT_FALSE(tool.port.portOpen());
    EXPECT_EQ(FileDescriptors(), descriptors);

    EXPECT_FALSE(cli.crashed()) << cli.standardError().toStdString();
    EXPECT_EQ(cli.exitCode(), c.exitStatus);
    EXPECT_EQ(cli.message().toStdString(), c.message);
    EXPECT_EQ(cli.standardOutput().contains("Completed."), c.exitStatus == 0);
    EXPECT_GE(cli.duration(), c.atLeast);
    EXPECT_LE(cli.duration(), c.atMost);

    cliHolder.reset();
    toolHolder.reset();
    {
        SCOPED_TRACE("in this process");
        ExpectTheRadioAgrees(forTool, outcome.message, image.image);
    }
    {
        SCOPED_TRACE("vqflash-cli");
        ExpectTheRadioAgrees(forCli, cli.message().toStdString(), image.image);
    }

    SimProcess healthyForCli({"--dump", "flash.bin"});
    SimProcess healthyForTool({"--dump", "flash.bin"});
    CliJob again(healthyForCli.device(), image.path);
    const CommandOutcome next = tool.Program(healthyForTool.device());
    ASSERT_TRUE(again.finish(10s));
    EXPECT_EQ(next.message, "Completed.");
    EXPECT_EQ(again.exitCode(), 0) << again.message().toStdString();
    ExpectTheRadioAgrees(healthyForTool, next.message, image.image);
    EXPECT_EQ(FileDescriptors(), atStart);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vq::test
