#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash_rig.h"

namespace vq::test {
namespace {

using Bytes = FakeSerialPort::Bytes;

Bytes Repeat(std::size_t n, std::uint8_t value) {
    return Bytes(n, value);
}

TEST(Frames, EndFrameIsFixed) {
    Frame frame{};
    frame.fill(0x5A);  // builders overwrite every byte of a frame
    BuildEndFrame(frame);
    const Bytes expected = Concat({{0xFF, 0xFE, 0x45, 0x44}, Repeat(1027, 0xFF), {0x86}});
    EXPECT_EQ(Bytes(frame.begin(), frame.end()), expected);
}

TEST(Frames, EraseFrameListsTheBlocksFromTheTopDown) {
    const Bytes fixedEntries = {0x00, 0x0F, 0xEF, 0xFE, 0x00, 0x0F, 0xDF, 0xFE, 0x00, 0x0F, 0xBF,
                                0xFE, 0x00, 0x0F, 0x9F, 0xFE, 0x00, 0x0F, 0x7F, 0xFE, 0x00, 0x0E,
                                0xFF, 0xFE, 0x00, 0x0D, 0xFF, 0xFE, 0x00, 0x0C, 0xFF, 0xFE};
    struct Case {
        bool fullRange;
        Bytes ninthEntry;
        std::uint8_t checksum;
    };
    for (const Case& c : std::vector<Case>{{false, {0xFF, 0xFF, 0xFF, 0xFF}, 0xAE},
                                           {true, {0x00, 0x0F, 0xFF, 0xFE}, 0xBE}}) {
        Frame frame{};
        BuildEraseFrame(frame, c.fullRange);
        const Bytes expected = Concat({{0xFF, 0xFE, 0x42, 0x45},
                                       fixedEntries,
                                       c.ninthEntry,
                                       Repeat(991, 0xFF),
                                       {c.checksum}});
        EXPECT_EQ(Bytes(frame.begin(), frame.end()), expected) << c.fullRange;
    }
}

TEST(Frames, BlockFrameCarriesTheAddressAndAllSixtyFourRows) {
    MemoryImage image;
    Frame frame{};
    BuildBlockFrame(frame, image, 0xC000);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 7),
              (Bytes{0xFF, 0xFE, 0x50, 0x47, 0x0C, 0x00, 0x00}));
    EXPECT_EQ(Bytes(frame.begin() + 7, frame.begin() + 1031), Repeat(1024, 0xFF));
    EXPECT_EQ(frame[1031], 0xA3);

    // The last row of the top block: column 15 of row 0xFFFF sits at the frame's last data byte.
    image.Store(0xFFFF, 15, 0x00);
    image.Store(0xFFC0, 0, 0x12);
    BuildBlockFrame(frame, image, 0xFFC0);
    EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + 8), (Bytes{0x0F, 0xFC, 0x00, 0x12}));
    EXPECT_EQ(frame[1030], 0x00);
    EXPECT_EQ(frame[1031], FrameChecksum(frame));
    EXPECT_EQ(frame[1031],
              static_cast<std::uint8_t>(0x50 + 0x47 + 0x0F + 0xFC + 0x12 + 1022 * 0xFF));
}

TEST(Frames, ChecksumIsThePlainSumOfCommandAndBody) {
    Frame frame{};
    frame.fill(0x00);
    frame[0] = 0x77;  // the lead bytes and the checksum byte itself are outside the sum
    frame[1] = 0x77;
    frame[1031] = 0x77;
    frame[2] = 0x80;
    frame[1030] = 0x81;
    EXPECT_EQ(FrameChecksum(frame), 0x01);
    frame.fill(0xFF);
    EXPECT_EQ(FrameChecksum(frame), static_cast<std::uint8_t>(1029 * 255));
}

TEST(Frames, DataLineNamesTheRowHighByteFirst) {
    MemoryImage image;
    image.Store(0xC005, 0, 0x11);
    image.Store(0xC005, 15, 0x22);
    Line line{};
    line.fill(0x99);  // offsets 18 and 19 are never written
    BuildDataLine(line, image, 0xC005);
    Bytes expected = {0xC0, 0x05, 0x11};
    expected.resize(17, 0xFF);
    expected.insert(expected.end(), {0x22, 0x99, 0x99});
    EXPECT_EQ(Bytes(line.begin(), line.end()), expected);

    BuildOkLine(line);
    EXPECT_EQ(Bytes(line.begin(), line.begin() + 5), (Bytes{'O', 'K', 0x0D, 0x0A, 0xFF}));
}

class FlashTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildEndFrame(rig.flash.FrameBuffer);
        rig.port.setPortOpen(true);
    }
    FlashRig rig;
};

TEST_F(FlashTransfer, SendsTheFrameAsTwoWritesOf512And520) {
    rig.radio.script = {Answer("ED\r\n")};
    EXPECT_EQ(rig.flash.TransferFrame(2), 1036);
    ASSERT_EQ(rig.port.writes.size(), 2u);
    EXPECT_EQ(rig.port.writes[0].size(), 512u);
    EXPECT_EQ(rig.port.writes[1].size(), 520u);
    const Frame& frame = rig.flash.FrameBuffer;
    EXPECT_EQ(rig.Frames().front(), Bytes(frame.begin(), frame.end()));
    EXPECT_EQ(rig.link.ReceiveBuffer(),
              Concat({Bytes(frame.begin(), frame.end()), BytesOf("ED\r\n")}));
}

TEST_F(FlashTransfer, WaitEndsOnTheCountOrTheTimeOut) {
    struct Case {
        const char* what;
        Reply reply;
        int count;
        std::size_t received;
        bool timedOut;
        int leftInPort;
    };
    const std::vector<Case> cases = {
        {"nothing returned", Silent(), 0, 0, true, 0},
        {"first half only", {"ED\r\n", false, 524}, 512, 512, true, 0},
        {"whole frame and answer", Answer("ED\r\n"), 1036, 1036, false, 0},
        {"more than the answer", Answer("ED\r\nxy"), 1038, 1038, false, 0},
        {"one answer byte missing", {"ED\r\n", false, 1}, 512, 512, true, 523},
    };
    for (const auto& c : cases) {
        FlashRig r;
        BuildEndFrame(r.flash.FrameBuffer);
        r.port.setPortOpen(true);
        r.radio.script = {c.reply};
        const auto start = r.clock.now();
        EXPECT_EQ(r.flash.TransferFrame(2), c.count) << c.what;
        EXPECT_EQ(r.link.ReceiveBuffer().size(), c.received) << c.what;
        EXPECT_EQ(r.clock.now() - start >= std::chrono::milliseconds(5000), c.timedOut) << c.what;
        EXPECT_FALSE(r.timer.enabled()) << c.what;
        EXPECT_EQ(r.timer.starts(), 1) << c.what;
        EXPECT_EQ(r.port.writes.size(), 2u) << c.what;
        // Let anything still on its way arrive before looking at what stayed unread.
        while (r.clock.runNext()) {
        }
        EXPECT_EQ(r.port.inBufferCount(), c.leftInPort) << c.what;
    }
}

TEST_F(FlashTransfer, DiscardsBytesLeftByAnEarlierAttempt) {
    rig.radio.script = {{"ED\r\n", false, 1}, Answer("ED\r\n")};
    EXPECT_EQ(rig.flash.TransferFrame(2), 512);
    while (rig.clock.runNext()) {
    }
    ASSERT_EQ(rig.port.inBufferCount(), 523);
    EXPECT_EQ(rig.flash.TransferFrame(2), 1036);
    EXPECT_EQ(ClassifyReply(rig.link.ReceiveBuffer(), 1032), ReplyEd);
}

TEST(TextTransfer, SendsTheLineAndCollectsEchoAndAnswer) {
    struct Case {
        std::int16_t mode;
        Bytes prefix;
        int count;
    };
    for (const Case& c : std::vector<Case>{{0, {}, 40}, {1, {'C', 'L', '~'}, 43}}) {
        FlashRig r;
        r.port.setPortOpen(true);
        BuildEraseLine(r.flash.LineBuffer);
        r.flash.LineBuffer[19] = 0x42;
        r.radio.script = {Answer("OK\r\n")};
        EXPECT_EQ(r.flash.TransferFrame(c.mode), c.count) << c.mode;
        EXPECT_LT(r.clock.now(), std::chrono::milliseconds(5000)) << c.mode;
        const Line& line = r.flash.LineBuffer;
        const Bytes sent = Concat({c.prefix, Bytes(line.begin(), line.end())});
        ASSERT_EQ(r.port.writes.size(), 1u);
        EXPECT_EQ(r.port.writes[0], sent) << c.mode;
        Bytes answer = BytesOf("OK\r\n");
        answer.resize(20, 0x00);
        EXPECT_EQ(r.link.ReceiveBuffer(), Concat({sent, answer})) << c.mode;
        EXPECT_EQ(ClassifyReply(r.link.ReceiveBuffer(), sent.size()), ReplyOk) << c.mode;
    }
}

TEST(TextTransfer, ShortAnswerWaitsForTheTimeOut) {
    FlashRig r;
    r.port.setPortOpen(true);
    r.radio.script = {{"OK\r\n", false, 1}};
    EXPECT_EQ(r.flash.TransferFrame(0), 39);
    EXPECT_GE(r.clock.now(), std::chrono::milliseconds(5000));
    EXPECT_EQ(r.link.ReceiveBuffer().size(), 39u);
}

TEST(Transfer, SettingsFollowTheSpeedOptionsTheModeHonours) {
    struct Case {
        int option;
        std::int16_t mode;
        std::string settings;
    };
    const std::vector<Case> cases = {
        {0, 2, "9600,n,8,1"},  {1, 2, "38400,n,8,1"}, {2, 2, "57600,n,8,1"}, {0, 0, "9600,n,8,1"},
        {1, 1, "38400,n,8,1"}, {2, 0, "4800,n,8,1"},  {2, 1, "4800,n,8,1"},
    };
    for (const auto& c : cases) {
        FlashRig r;
        r.port.setSettings("4800,n,8,1");
        r.port.setPortOpen(true);
        r.window.baudOption = c.option;
        r.flash.TransferFrame(c.mode);
        EXPECT_EQ(r.port.settings(), c.settings) << c.option << " mode " << c.mode;
    }
}

TEST(CheckLineReadback, ComparesTheTwentyBytesAtTheOffset) {
    FlashRig r;
    BuildDataLine(r.flash.LineBuffer, r.image, 0xC123);
    const Line& line = r.flash.LineBuffer;
    const Bytes echo(20, 0xEE);
    const Bytes whole = Concat({echo, Bytes(line.begin(), line.end())});
    Bytes firstDiffers = whole;
    firstDiffers[20] ^= 0x80;
    Bytes lastDiffers = whole;
    lastDiffers[39] ^= 0x01;
    const Bytes short39(whole.begin(), whole.end() - 1);
    const Bytes prefixed = Concat({Bytes(3, 0x00), whole});

    struct Case {
        const char* what;
        Bytes received;
        std::size_t offset;
        int result;
    };
    const std::vector<Case> cases = {
        {"all equal", whole, 20, 1},
        {"byte 20 differs", firstDiffers, 20, 0},
        {"byte 39 differs", lastDiffers, 20, 0},
        {"39 bytes", short39, 20, -1},
        {"mode 1 offset", prefixed, 23, 1},
        {"empty", {}, 20, -1},
    };
    for (const auto& c : cases) {
        r.link.SetReceiveBuffer(c.received);
        EXPECT_EQ(r.flash.CheckLineReadback(c.offset), c.result) << c.what;
    }
}

TEST(RowAddressText, IsTheRowInUppercaseHexWithAZeroBehind) {
    EXPECT_EQ(RowAddressText(0xC000), "C0000");
    EXPECT_EQ(RowAddressText(0xFEC0), "FEC00");
    EXPECT_EQ(RowAddressText(0xABCD), "ABCD0");
}

}  // namespace
}  // namespace vq::test
