#include <QFile>
#include <chrono>
#include <numeric>

#include "e2e_fixture.h"

namespace vq::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A flash-mode frame: 0xFF 0xFE, the command, the body padded with 0xFF, the checksum.
Bytes MakeFrame(std::string_view command, const Bytes& body = {}) {
    Bytes frame(1032, 0xFF);
    frame[1] = 0xFE;
    frame[2] = static_cast<std::uint8_t>(command[0]);
    frame[3] = static_cast<std::uint8_t>(command[1]);
    std::copy(body.begin(), body.end(), frame.begin() + 4);
    frame[1031] =
        static_cast<std::uint8_t>(std::accumulate(frame.begin() + 2, frame.end() - 1, 0u));
    return frame;
}

std::string TokenAt(const Bytes& received, std::size_t offset) {
    if (received.size() < offset + 4) return {};
    return {received.begin() + static_cast<std::ptrdiff_t>(offset),
            received.begin() + static_cast<std::ptrdiff_t>(offset + 4)};
}

TEST_F(LinkOverPty, IdentificationGivesTheRadiosAnswer) {
    const std::vector<std::pair<QStringList, std::int16_t>> cases = {
        {{}, ReplyOk},
        {{"--region-error"}, ReplyRegionError},
        {{"--token", "NG"}, ReplyUnknown},
    };
    for (const auto& [options, expected] : cases) {
        SCOPED_TRACE(options.join(u' ').toStdString());
        StartSim(options);
        EXPECT_EQ(link.IdentifyTarget(), expected);
        EXPECT_EQ(LastRequestKind(), "identify");
        EXPECT_EQ(LastRequestSettings(), "57600,n,8,1");
    }
}

TEST_F(LinkOverPty, SilentRadioEndsWithTheTimeOut) {
    StartSim({"--silent"});
    const auto start = Clock::now();
    EXPECT_EQ(link.IdentifyTarget(), ReplyUnknown);
    EXPECT_GE(Clock::now() - start, 4500ms);
    EXPECT_TRUE(link.ReceiveBuffer().empty());
    EXPECT_FALSE(port.portOpen());
}

// One radio for the whole sequence: the port keeps the settings assigned last, so an
// operation that assigns none runs at the speed of the one before it.
TEST_F(LinkOverPty, ConnectRunsAtTheSelectedSpeedInEachMode) {
    struct Step {
        int option;
        std::int16_t mode;
        std::int16_t expected;
        const char* kind;
        const char* settings;
    };
    const std::vector<Step> steps = {
        {2, 0, ReplyOk, "connect-text0", "9600,n,8,1"},
        {2, 2, ReplyCt, "connect-flash", "57600,n,8,1"},
        {2, 1, ReplyOk, "connect-text1", "57600,n,8,1"},
        {1, 0, ReplyOk, "connect-text0", "38400,n,8,1"},
        {0, 2, ReplyCt, "connect-flash", "9600,n,8,1"},
        {1, 2, ReplyCt, "connect-flash", "38400,n,8,1"},
        {2, 1, ReplyOk, "connect-text1", "38400,n,8,1"},
        {0, 1, ReplyOk, "connect-text1", "9600,n,8,1"},
    };
    StartSim();
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "option " << step.option << ", mode " << step.mode);
        window.baudOption = step.option;
        EXPECT_EQ(link.ConnectTarget(step.mode), step.expected);
        EXPECT_EQ(LastRequestKind(), step.kind);
        EXPECT_EQ(LastRequestSettings(), step.settings);
    }
}

TEST_F(LinkOverPty, EveryOperationLeavesThePortClosed) {
    const std::vector<std::pair<const char*, std::function<std::int16_t()>>> operations = {
        {"identify", [&] { return link.IdentifyTarget(); }},
        {"connect 0", [&] { return link.ConnectTarget(0); }},
        {"connect 1", [&] { return link.ConnectTarget(1); }},
        {"connect 2", [&] { return link.ConnectTarget(2); }},
        {"line test", [&] { return link.TestPortLine(); }},
    };
    StartSim();
    window.pinNumber = "12";
    int done = 0;
    for (const auto& [name, run] : operations) {
        SCOPED_TRACE(name);
        EXPECT_NE(run(), ReplyUnknown);
        ++done;
        EXPECT_FALSE(port.portOpen());
        EXPECT_FALSE(HoldsDevice());
        EXPECT_TRUE(Sim().waitForLog("close", done));
        EXPECT_EQ(Sim().logLines("open").size(), done);
    }
}

TEST_F(LinkOverPty, PortPrefixFindsTheLinkedDeviceAndNothingElse) {
    StartSim({"--link", "vqsim0"});
    QtSerialPort prefixed(Sim().path("vqsim"));
    QtTimer prefixedTimer;
    QtTimer prefixedQuietTimer;
    Link viaPrefix(prefixed, prefixedTimer, prefixedQuietTimer, pump, window);

    window.com = 1;
    EXPECT_EQ(viaPrefix.IdentifyTarget(), ReplyOk);

    window.com = 2;
    const auto start = Clock::now();
    EXPECT_EQ(viaPrefix.IdentifyTarget(), ReplyUnknown);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(prefixed.portOpen());
    EXPECT_FALSE(prefixedTimer.enabled());
    EXPECT_EQ(Sim().logLines("request").size(), 1);
}

TEST_F(LinkOverPty, PortInUseFailsAtOnce) {
    StartSim();
    QtSerialPort other;
    other.setDeviceName(Sim().device());
    other.setPortOpen(true);

    const auto start = Clock::now();
    EXPECT_EQ(link.ConnectTarget(2), ReplyUnknown);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(port.portOpen());

    other.setPortOpen(false);
    EXPECT_EQ(link.ConnectTarget(2), ReplyCt);
}

TEST_F(LinkOverPty, PinStateOutlivesTheOperationThatSetIt) {
    StartSim();
    window.pinNumber = "12";
    const std::vector<std::pair<int, std::int16_t>> steps = {
        {3, ReplyPinHighInput},  {0, ReplyOk}, {3, ReplyPinLowOutput}, {1, ReplyOk},
        {3, ReplyPinHighOutput},
    };
    for (const auto& [action, expected] : steps) {
        window.portOption = action;
        EXPECT_EQ(link.TestPortLine(), expected) << "action " << action;
    }
    window.pinNumber = "5";
    window.portOption = 3;
    EXPECT_EQ(link.TestPortLine(), ReplyPinHighInput);
}

// Flash mode entered by one operation holds for the next ones, and the radio's flash is
// dumped when the connection ends.
TEST_F(LinkOverPty, FlashConnectionSpansOperationsAndEndsInADump) {
    StartSim({"--dump", "flash.bin"});
    const QString dumpPath = Sim().path("flash.bin");
    ASSERT_EQ(link.ConnectTarget(2), ReplyCt);

    Bytes block{0x0C, 0x04, 0x00};
    for (int i = 0; i < 1024; ++i) block.push_back(static_cast<std::uint8_t>(i * 7));
    const std::vector<std::pair<Bytes, std::string>> frames = {
        {MakeFrame("PG", block), "PG\r\n"},
        {MakeFrame("ED"), "ED\r\n"},
    };
    for (const auto& [frame, answer] : frames) {
        std::string token;
        link.InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
            link.ExchangeRequest(frame, 1036);
            token = TokenAt(link.ReceiveBuffer(), 1032);
            return ReplyOk;
        });
        EXPECT_EQ(token, answer);
    }

    ASSERT_TRUE(Sim().waitForLog("dump", 1));
    QFile dump(dumpPath);
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    const QByteArray flash = dump.readAll();
    ASSERT_EQ(flash.size(), 0x40000);
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0x3FF]), 0xFF);
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0x401]), 7);
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0x7FF]), static_cast<std::uint8_t>(1023 * 7));
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0x800]), 0xFF);
}

TEST_F(LinkOverPty, AdapterUnpluggedInAFrameIsAPortFailure) {
    StartSim({"--unplug-after-bytes", "100"});
    ASSERT_EQ(link.ConnectTarget(2), ReplyCt);

    const std::int16_t result = link.InPortBracket(-1, [&]() -> std::int16_t {
        link.ExchangeRequest(MakeFrame("ED"), 1036);
        return ReplyOk;
    });
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(HoldsDevice());
    EXPECT_TRUE(Sim().waitForLog("unplug", 1));
}

TEST_F(LinkOverPty, PacedLineAtNineThousandSixHundredStillCarriesAFrame) {
    StartSim({"--paced"});
    window.baudOption = 0;
    ASSERT_EQ(link.ConnectTarget(2), ReplyCt);
    std::string token;
    link.InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
        link.ExchangeRequest(MakeFrame("ED"), 1036);
        token = TokenAt(link.ReceiveBuffer(), 1032);
        return ReplyOk;
    });
    EXPECT_EQ(token, "ED\r\n");
    EXPECT_EQ(LastRequestSettings(), "9600,n,8,1");
}

}  // namespace
}  // namespace vq::test
