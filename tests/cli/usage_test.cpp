// vqflash-cli usage errors: status 2 and a one-line hint on stderr, before any radio is
// reached.

#include "cli_rig.h"

namespace vq::test {
namespace {

struct UsageCase {
    const char* name;
    QStringList arguments;
    const char* hint;  // a part of the one line on stderr
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class UsageError : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageError, GivesStatusTwoAndAOneLineHint) {
    const UsageCase& c = GetParam();
    const CliRun run = RunCli(c.arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    ASSERT_EQ(run.errLines().size(), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith('\n'));
    EXPECT_TRUE(run.err.startsWith("vqflash-cli: ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(c.hint)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("--help")) << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UsageError,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "no command"},
        UsageCase{"UnknownCommand", {"flash", "--port", "COM1"}, "unknown command \"flash\""},
        UsageCase{"ModeOutOfRange", {"sequence", "3", "--port", "COM1"}, "MODE is 0, 1 or 2"},
        UsageCase{"ModeNotANumber", {"connect", "two", "--port", "COM1"}, "MODE is 0, 1 or 2"},
        UsageCase{"SequenceWithoutMode", {"sequence", "--port", "COM1"}, "sequence MODE"},
        UsageCase{"UnknownBaud", {"program", "--baud", "19200", "--port", "COM1"}, "--baud"},
        UsageCase{"MissingPort", {"program"}, "needs --port"},
        UsageCase{"TwoPortsForIdentify",
                  {"identify", "--port", "COM1", "--port", "COM2"},
                  "only program takes several --port"},
        UsageCase{"SamePortTwice",
                  {"program", "--port", "COM3", "--port", "com3"},
                  "a port is given twice"},
        UsageCase{"ComBeyondSixteen", {"program", "--port", "COM17"}, "COM1..COM16"},
        UsageCase{"PortForInfo", {"info", "--port", "COM1"}, "takes no --port"},
        UsageCase{"UnknownPinAction",
                  {"pin-test", "12", "sideways", "--port", "COM1"},
                  "ACTION is low-out, high-out, input or read"},
        UsageCase{"ChecksumWithOneAddress", {"checksum", "C0000"}, "checksum START STOP"},
        UsageCase{"UnknownOption", {"program", "--fast", "--port", "COM1"}, "fast"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vq::test
