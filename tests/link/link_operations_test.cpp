#include "link_fixture.h"

namespace vq::test {
namespace {

const std::string kSixteen(16, '\0');

struct ConnectCase {
    std::int16_t mode;
    std::string reply;
    std::int16_t expected;
    VirtualClock::Ms endsAt;
};

using ConnectTargetTest = LinkTest;

TEST_F(ConnectTargetTest, SendsTheModeRequestAndPassesOnlyOkAndCt) {
    const std::vector<std::string> requests = {"QK~E\r", "FL\r", "QK~FLASH\r"};
    const std::vector<ConnectCase> cases = {
        // Complete replies end the wait at once: 25, 23 and 13 bytes.
        {0, "OK\r\n" + kSixteen, ReplyOk, 10ms},
        {1, "OK\r\n" + kSixteen, ReplyOk, 10ms},
        {2, "CT\r\n", ReplyCt, 10ms},
        // The caller judges which of the two its mode needs.
        {2, "OK\r\n", ReplyOk, 10ms},
        {0, "CT\r\n" + kSixteen, ReplyCt, 10ms},
        // One byte short of the count: the right token is not enough.
        {0, "OK\r\n" + kSixteen.substr(1), ReplyUnknown, 5000ms},
        {1, "OK\r\n" + kSixteen.substr(1), ReplyUnknown, 5000ms},
        {2, "CT\r", ReplyUnknown, 5000ms},
        {0, "", ReplyUnknown, 5000ms},
        // Every other token is a failure to the caller.
        {2, "NG\r\n", ReplyUnknown, 10ms},
        {2, "ED\r\n", ReplyUnknown, 10ms},
        {2, "BE\r\n", ReplyUnknown, 10ms},
        {2, "PG\r\n", ReplyUnknown, 10ms},
        {2, "RA\r\n", ReplyUnknown, 10ms},
        {2, "EE\r\n", ReplyUnknown, 10ms},
        {2, "ct\r\n", ReplyUnknown, 10ms},
        {1, "NG\r\n" + kSixteen, ReplyUnknown, 10ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << c.mode << ", reply " << testing::PrintToString(c.reply));
        const auto start = clock.now();
        port.writes.clear();
        RadioAnswers(c.reply);

        EXPECT_EQ(link.ConnectTarget(c.mode), c.expected);
        EXPECT_EQ(port.writes, std::vector<Bytes>{ToBytes(requests[c.mode])});
        EXPECT_EQ(clock.now() - start, c.endsAt);
    }
}

TEST_F(ConnectTargetTest, ModeOutsideTheThreeSendsNothing) {
    RadioAnswers("CT\r\n");
    EXPECT_EQ(link.ConnectTarget(3), ReplyUnknown);
    EXPECT_EQ(link.ConnectTarget(-1), ReplyUnknown);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(port.opens, 0);
}

using IdentifyTargetTest = LinkTest;

TEST_F(IdentifyTargetTest, PassesOnlyOkAndRegionError) {
    const std::vector<std::pair<std::string, std::int16_t>> cases = {
        {"\r\nOK\r\n", ReplyOk},      {"\r\nRE\r\n", ReplyRegionError},
        {"\r\nNG\r\n", ReplyUnknown}, {"\r\n01\r\n", ReplyUnknown},
        {"\n\rOK\n\r", ReplyUnknown}, {"OK\r\n", ReplyUnknown},
    };
    for (const auto& [reply, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(reply));
        port.writes.clear();
        RadioAnswers(reply);
        EXPECT_EQ(link.IdentifyTarget(), expected);
        EXPECT_EQ(port.writes, std::vector<Bytes>{ToBytes("QK~VQ-K38\r")});
    }
}

TEST_F(IdentifyTargetTest, EchoOnlyGivesUnknownAfterTheTimeOut) {
    RadioAnswers("");
    EXPECT_EQ(link.IdentifyTarget(), ReplyUnknown);
    EXPECT_EQ(clock.now(), 5000ms);
    EXPECT_EQ(ToText(link.ReceiveBuffer()), "QK~VQ-K38\r");
}

TEST_F(IdentifyTargetTest, EndsAtTheSixteenthByte) {
    RadioAnswers("\r\nOK\r\n", 25ms);
    EXPECT_EQ(link.IdentifyTarget(), ReplyOk);
    EXPECT_EQ(clock.now(), 25ms);
}

struct LineTestCase {
    std::string pin;
    int action;
    std::string reply;
    std::string request;
    std::int16_t expected;
    std::string text;
};

using TestPortLineTest = LinkTest;

TEST_F(TestPortLineTest, TokenFollowsTheEchoOfTheRequestSent) {
    const std::vector<LineTestCase> cases = {
        {"12", 3, "\r\n03\r\n", "QK~P123\r", ReplyPinHighInput, "H入力"},
        {"12", 0, "\r\nOK\r\n", "QK~P120\r", ReplyOk, "OK"},
        {"12", 1, "\r\n01\r\n", "QK~P121\r", ReplyPinHighOutput, "H出力"},
        {"12", 2, "\r\n02\r\n", "QK~P122\r", ReplyPinLowInput, "L入力"},
        {"12", 3, "\r\n00\r\n", "QK~P123\r", ReplyPinLowOutput, "L出力"},
        {"12", 3, "\r\nNG\r\n", "QK~P123\r", ReplyNg, "NG"},
        // Passed on unchanged, and shown as unknown.
        {"12", 3, "\r\nRE\r\n", "QK~P123\r", ReplyRegionError, "???"},
        {"12", 3, "\r\n04\r\n", "QK~P123\r", ReplyUnknown, "???"},
        {"12", 3, "", "QK~P123\r", ReplyUnknown, "???"},
        // Pin numbers of one and three characters, and none.
        {"5", 3, "\r\n03\r\n", "QK~P53\r", ReplyPinHighInput, "H入力"},
        {"123", 0, "\r\nOK\r\n", "QK~P1230\r", ReplyOk, "OK"},
        {"", 3, "\r\nNG\r\n", "QK~P3\r", ReplyNg, "NG"},
        // Typed exactly as it stands, blanks included.
        {" 7", 3, "\r\n02\r\n", "QK~P 73\r", ReplyPinLowInput, "L入力"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pin '" << c.pin << "', action " << c.action
                                        << ", reply " << testing::PrintToString(c.reply));
        port.writes.clear();
        window.pinNumber = c.pin;
        window.portOption = c.action;
        RadioAnswers(c.reply);

        const std::int16_t result = link.TestPortLine();

        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(PortLineResultText(result), c.text);
        EXPECT_EQ(port.writes, std::vector<Bytes>{ToBytes(c.request)});
    }
}

TEST_F(TestPortLineTest, PinTextThatIsNotAsciiSendsNothing) {
    RadioAnswers("\r\nOK\r\n");
    for (const std::string pin : {"１２", "1é", "1\x80"}) {
        SCOPED_TRACE(pin);
        window.pinNumber = pin;
        EXPECT_EQ(link.TestPortLine(), ReplyUnknown);
    }
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(port.opens, 0);
}

TEST_F(TestPortLineTest, LeavesTheSettingsAloneWith57600Selected) {
    port.setSettings("38400,n,8,1");
    port.settingsAssigned.clear();
    window.baudOption = 2;
    window.pinNumber = "12";
    RadioAnswers("\r\n03\r\n");

    EXPECT_EQ(link.TestPortLine(), ReplyPinHighInput);
    EXPECT_TRUE(port.settingsAssigned.empty());
    ASSERT_EQ(port.openedWith.size(), 1u);
    EXPECT_EQ(port.openedWith[0].settings, "38400,n,8,1");
}

}  // namespace
}  // namespace vq::test
