#include "link_fixture.h"

namespace vq::test {
namespace {

struct Operation {
    const char* name;
    std::int16_t (*run)(Link&);
};

const std::vector<Operation> kOperations = {
    {"connect 0", [](Link& l) { return l.ConnectTarget(0); }},
    {"connect 1", [](Link& l) { return l.ConnectTarget(1); }},
    {"connect 2", [](Link& l) { return l.ConnectTarget(2); }},
    {"identify", [](Link& l) { return l.IdentifyTarget(); }},
    {"line test", [](Link& l) { return l.TestPortLine(); }},
};

class PortBracketTest : public LinkTest {
  protected:
    void SetUp() override { window.pinNumber = "12"; }
};

TEST_F(PortBracketTest, OpensTheCheckedComPortAndClosesItAfterEveryOutcome) {
    const std::vector<std::pair<const char*, std::string>> replies = {
        {"answered", "OK\r\n\r\nOK\r\n" + std::string(16, 'x')},
        {"silent", ""},
    };
    window.com = 7;
    for (const auto& op : kOperations) {
        for (const auto& [what, reply] : replies) {
            SCOPED_TRACE(testing::Message() << op.name << ", " << what);
            port.openedWith.clear();
            const int closesBefore = port.closes;
            RadioAnswers(reply);

            op.run(link);

            ASSERT_EQ(port.openedWith.size(), 1u);
            EXPECT_EQ(port.openedWith[0].port, 7);
            EXPECT_FALSE(port.portOpen());
            EXPECT_EQ(port.closes, closesBefore + 1);
        }
    }
}

TEST_F(PortBracketTest, MissingPortGivesUnknownAtOnceWithoutAnExchange) {
    port.setPresentPorts({1, 2});
    window.com = 3;
    RadioAnswers("CT\r\n");
    for (const auto& op : kOperations) {
        SCOPED_TRACE(op.name);
        EXPECT_EQ(op.run(link), ReplyUnknown);
        EXPECT_FALSE(port.portOpen());
    }
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(timer.starts(), 0);
    EXPECT_EQ(clock.now(), 0ms);
}

TEST_F(PortBracketTest, WriteFailureGivesUnknownWithThePortClosed) {
    port.failOutputAfter(0);
    RadioAnswers("CT\r\n");
    for (const auto& op : kOperations) {
        SCOPED_TRACE(op.name);
        EXPECT_EQ(op.run(link), ReplyUnknown);
        EXPECT_FALSE(port.portOpen());
    }
    EXPECT_EQ(port.opens, static_cast<int>(kOperations.size()));
    EXPECT_EQ(port.closes, port.opens);
}

TEST_F(PortBracketTest, UsesAPortThatIsAlreadyOpenAndStillClosesIt) {
    port.setCommPort(4);
    port.setPortOpen(true);
    window.com = 1;
    RadioAnswers("CT\r\n");

    EXPECT_EQ(link.ConnectTarget(2), ReplyCt);
    EXPECT_EQ(port.opens, 1);
    EXPECT_EQ(port.commPort(), 4);
    EXPECT_FALSE(port.portOpen());
}

using ExchangeTest = LinkTest;

TEST_F(ExchangeTest, EndsAsSoonAsEnoughBytesAreCounted) {
    RadioAnswers("CT\r\n", 40ms);
    int count = 0;
    link.InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
        count = link.ExchangeRequest("QK~FLASH\r", 13);
        return 0;
    });
    EXPECT_EQ(count, 13);
    EXPECT_EQ(clock.now(), 40ms);
    EXPECT_FALSE(timer.enabled());
    EXPECT_EQ(timer.ticks(), 0);
    EXPECT_EQ(ToText(link.ReceiveBuffer()), "QK~FLASH\rCT\r\n");
}

TEST_F(ExchangeTest, ShortReplyWaitsTheFullTimeOutAndKeepsWhatArrived) {
    RadioAnswers("CT\r");
    EXPECT_EQ(link.ConnectTarget(2), ReplyUnknown);
    EXPECT_EQ(clock.now(), 5000ms);
    EXPECT_EQ(timer.ticks(), 1);
    EXPECT_EQ(ToText(link.ReceiveBuffer()), "QK~FLASH\rCT\r");
}

TEST_F(ExchangeTest, BytesBeyondTheExpectedCountAllLand) {
    RadioAnswers("CT\r\nspare bytes");
    EXPECT_EQ(link.ConnectTarget(2), ReplyCt);
    EXPECT_EQ(ToText(link.ReceiveBuffer()), "QK~FLASH\rCT\r\nspare bytes");
}

TEST_F(ExchangeTest, DiscardsBytesWaitingBeforeTheRequest) {
    RadioAnswers("CT\r\n");
    int count = 0;
    link.InPortBracket(ReplyUnknown, [&]() -> std::int16_t {
        port.deliver("NG\r\nlate");
        clock.runNext();  // the stray bytes are now waiting in the port
        count = link.ExchangeRequest("QK~FLASH\r", 13);
        return 0;
    });
    EXPECT_EQ(count, 13);
    EXPECT_EQ(ToText(link.ReceiveBuffer()), "QK~FLASH\rCT\r\n");
}

// The wait for a quiet line drops every byte that arrives, ends once nothing has arrived for
// the interval asked for, and gives up on a line that never goes quiet after one time-out.
TEST_F(ExchangeTest, QuietLineWaitEndsAfterTheIntervalWithoutABytePassing) {
    struct Case {
        const char* what;
        std::vector<VirtualClock::Ms> arrivals;  // one byte at each
        VirtualClock::Ms endsAt;
    };
    std::vector<VirtualClock::Ms> babble;
    for (int ms = 100; ms <= 9000; ms += 100) babble.emplace_back(ms);
    const std::vector<Case> cases = {
        {"quiet from the start", {}, 1000ms},
        {"bytes already waiting", {0ms}, 1000ms},
        {"gaps shorter than the interval", {300ms, 1200ms, 2100ms}, 3100ms},
        {"a gap longer than the interval", {500ms, 1600ms}, 1500ms},
        {"never quiet", babble, 5000ms},
    };
    for (const Case& c : cases) {
        VirtualClock clock;
        FakeSerialPort port{clock};
        VirtualTimer timer{clock};
        VirtualTimer quietTimer{clock};
        VirtualPump pump{clock};
        Link link{port, timer, quietTimer, pump, window};
        port.setPortOpen(true);
        for (const auto at : c.arrivals) port.deliver("x", at);
        if (!c.arrivals.empty() && c.arrivals.front() == 0ms) clock.runNext();

        link.AwaitQuietLine(1000ms);
        EXPECT_EQ(clock.now(), c.endsAt) << c.what;
        EXPECT_EQ(port.inBufferCount(), 0) << c.what;
        EXPECT_FALSE(timer.enabled() || quietTimer.enabled()) << c.what;
    }
}

}  // namespace
}  // namespace vq::test
