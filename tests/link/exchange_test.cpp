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

}  // namespace
}  // namespace vq::test
