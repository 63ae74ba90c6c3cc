#include "simulated_radio.h"

#include <gtest/gtest.h>

#include <numeric>

namespace vq::sim {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

Bytes ToBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A flash-mode frame: 0xFF 0xFE, the command, the body padded with 0xFF, the checksum.
Bytes MakeFrame(std::string_view command, const Bytes& body = {}) {
    Bytes frame(kFrameSize, 0xFF);
    frame[1] = 0xFE;
    frame[2] = static_cast<std::uint8_t>(command[0]);
    frame[3] = static_cast<std::uint8_t>(command[1]);
    std::copy(body.begin(), body.end(), frame.begin() + 4);
    frame[kFrameSize - 1] =
        static_cast<std::uint8_t>(std::accumulate(frame.begin() + 2, frame.end() - 1, 0u));
    return frame;
}

Bytes MakeWriteFrame(std::uint32_t address, std::uint8_t fill) {
    Bytes body{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
               static_cast<std::uint8_t>(address)};
    body.resize(3 + kBlockSize, fill);
    return MakeFrame("PG", body);
}

Bytes MakeEraseFrame(const std::vector<std::uint32_t>& entries) {
    Bytes body;
    for (const std::uint32_t e : entries) {
        for (int shift = 24; shift >= 0; shift -= 8)
            body.push_back(static_cast<std::uint8_t>(e >> shift));
    }
    return MakeFrame("BE", body);
}

const std::vector<std::uint32_t> kNormalErase = {0xFEFFE, 0xFDFFE, 0xFBFFE, 0xF9FFE,
                                                 0xF7FFE, 0xEFFFE, 0xDFFFE, 0xCFFFE};

const std::string kPadding(16, '\0');

// What the tool gets back for one request: the echo, then the answer.
Bytes Exchange(SimulatedRadio& radio, const Bytes& request) {
    return radio.feed(request).joined();
}
Bytes Exchange(SimulatedRadio& radio, std::string_view request) {
    return Exchange(radio, ToBytes(request));
}
Bytes Answer(SimulatedRadio& radio, const Bytes& request) {
    const Bytes all = Exchange(radio, request);
    EXPECT_GE(all.size(), request.size());
    EXPECT_TRUE(std::equal(request.begin(), request.end(), all.begin())) << "echo";
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(std::min(request.size(), all.size())),
                 all.end());
}
std::string Answer(SimulatedRadio& radio, std::string_view request) {
    const Bytes answer = Answer(radio, ToBytes(request));
    return {answer.begin(), answer.end()};
}

TEST(SimulatedRadio, AnswersTheCommandRequestsBehindTheirEcho) {
    struct Case {
        std::string request;
        std::string answer;
        RadioMode modeAfter;
        RequestKind kind;
    };
    const std::vector<Case> cases = {
        {"QK~VQ-K38\r", "\r\nOK\r\n", RadioMode::Command, RequestKind::Identify},
        {"QK~E\r", "OK\r\n" + kPadding, RadioMode::Text0, RequestKind::EnterText0},
        {"FL\r", "OK\r\n" + kPadding, RadioMode::Text1, RequestKind::EnterText1},
        {"QK~FLASH\r", "CT\r\n", RadioMode::Flash, RequestKind::EnterFlash},
        {"QK~P123\r", "\r\n03\r\n", RadioMode::Command, RequestKind::PortLine},
        {"QK~P53\r", "\r\n03\r\n", RadioMode::Command, RequestKind::PortLine},
        {"QK~P1230\r", "\r\nOK\r\n", RadioMode::Command, RequestKind::PortLine},
        {"QK~P3\r", "\r\nNG\r\n", RadioMode::Command, RequestKind::PortLine},
        {"QK~P1x3\r", "\r\nNG\r\n", RadioMode::Command, RequestKind::PortLine},
        {"QK~P124\r", "\r\nNG\r\n", RadioMode::Command, RequestKind::PortLine},
        {"QK~VQ-K39\r", "", RadioMode::Command, RequestKind::UnknownText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.request));
        SimulatedRadio radio;
        EXPECT_EQ(Answer(radio, c.request), c.answer);
        EXPECT_EQ(radio.mode(), c.modeAfter);
        ASSERT_EQ(radio.requests().size(), 1u);
        EXPECT_EQ(radio.requests()[0].kind, c.kind);
        EXPECT_EQ(radio.requests()[0].bytes, ToBytes(c.request));
    }
}

TEST(SimulatedRadio, RegionErrorOptionRefusesTheIdentification) {
    SimulatedRadio radio({.regionError = true});
    EXPECT_EQ(Answer(radio, "QK~VQ-K38\r"), "\r\nRE\r\n");
}

TEST(SimulatedRadio, PinKeepsTheStateItWasSetTo) {
    SimulatedRadio radio;
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"QK~P073\r", "\r\n03\r\n"}, {"QK~P070\r", "\r\nOK\r\n"}, {"QK~P073\r", "\r\n00\r\n"},
        {"QK~P071\r", "\r\nOK\r\n"}, {"QK~P073\r", "\r\n01\r\n"}, {"QK~P123\r", "\r\n03\r\n"},
        {"QK~P072\r", "\r\nOK\r\n"}, {"QK~P073\r", "\r\n03\r\n"},
    };
    for (const auto& [request, answer] : steps)
        EXPECT_EQ(Answer(radio, request), answer) << request;

    radio.setPinState("9", PinState::LowInput);
    EXPECT_EQ(Answer(radio, "QK~P92\r"), "\r\nOK\r\n");
    EXPECT_EQ(Answer(radio, "QK~P93\r"), "\r\n02\r\n");
}

TEST(SimulatedRadio, AssemblesRequestsFromChunksOfAnySize) {
    const Bytes script =
        Concat(Concat(ToBytes("QK~FLASH\r"), MakeWriteFrame(0xC0400, 0x12)), MakeFrame("ED"));
    SimulatedRadio whole;
    const Bytes expected = Exchange(whole, script);
    ASSERT_EQ(expected.size(), script.size() + 12);

    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{512}}) {
        SCOPED_TRACE(chunk);
        SimulatedRadio radio;
        Bytes received;
        for (std::size_t at = 0; at < script.size(); at += chunk) {
            const auto n = std::min(chunk, script.size() - at);
            received = Concat(received, radio.feed(std::span(script).subspan(at, n)).joined());
        }
        EXPECT_EQ(received, expected);
        EXPECT_EQ(radio.flash(), whole.flash());
        EXPECT_EQ(radio.mode(), RadioMode::Command);
    }
    EXPECT_EQ(whole.flashAt(0xC0400), 0x12);
    EXPECT_EQ(whole.flashAt(0xC07FF), 0x12);
    EXPECT_EQ(whole.flashAt(0xC0800), 0xFF);
}

class FlashModeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(Answer(radio, "QK~FLASH\r"), "CT\r\n"); }
    std::string Send(const Bytes& frame) {
        const Bytes answer = Answer(radio, frame);
        return {answer.begin(), answer.end()};
    }
    SimulatedRadio radio;
};

TEST_F(FlashModeTest, ProgramsLikeNorFlashOnlyClearingBits) {
    EXPECT_EQ(Send(MakeWriteFrame(0xFFC00, 0x0F)), "PG\r\n");
    EXPECT_EQ(Send(MakeWriteFrame(0xFFC00, 0x05)), "PG\r\n");
    EXPECT_EQ(radio.flashAt(0xFFC00), 0x05);
    // 0x05 -> 0x0A needs two bits set again: refused, nothing changes.
    EXPECT_EQ(Send(MakeWriteFrame(0xFFC00, 0x0A)), "NG\r\n");
    EXPECT_EQ(radio.flashAt(0xFFFFF), 0x05);
    // Addresses off the 1 KiB grid or outside the flash.
    EXPECT_EQ(Send(MakeWriteFrame(0xC0200, 0x00)), "NG\r\n");
    EXPECT_EQ(Send(MakeWriteFrame(0xBFC00, 0x00)), "NG\r\n");
    EXPECT_EQ(radio.flashAt(0xC0200), 0xFF);
}

TEST_F(FlashModeTest, EachEraseEntryErasesExactlyItsRange) {
    struct Range {
        std::uint32_t entry, first, last;
    };
    const std::vector<Range> ranges = {
        {0xFEFFE, 0xFE000, 0xFEFFF}, {0xFDFFE, 0xFC000, 0xFDFFF}, {0xFBFFE, 0xFA000, 0xFBFFF},
        {0xF9FFE, 0xF8000, 0xF9FFF}, {0xF7FFE, 0xF0000, 0xF7FFF}, {0xEFFFE, 0xE0000, 0xEFFFF},
        {0xDFFFE, 0xD0000, 0xDFFFF}, {0xCFFFE, 0xC0000, 0xCFFFF}, {0xFFFFE, 0xFF000, 0xFFFFF},
    };
    for (const auto& r : ranges) {
        SCOPED_TRACE(testing::Message() << std::hex << r.entry);
        for (std::uint32_t block = kFlashBase; block < kFlashBase + kFlashSize;
             block += kBlockSize) {
            Send(MakeWriteFrame(block, 0x00));
        }
        EXPECT_EQ(Send(MakeEraseFrame({r.entry})), "BE\r\n");
        EXPECT_EQ(radio.flashAt(r.first), 0xFF);
        EXPECT_EQ(radio.flashAt(r.last), 0xFF);
        if (r.first > kFlashBase) {
            EXPECT_EQ(radio.flashAt(r.first - 1), 0x00);
        }
        if (r.last < 0xFFFFF) {
            EXPECT_EQ(radio.flashAt(r.last + 1), 0x00);
        }
        const auto erased = std::count(radio.flash().begin(), radio.flash().end(), 0xFF);
        EXPECT_EQ(erased, r.last - r.first + 1);
    }
}

TEST_F(FlashModeTest, NormalEraseKeepsTheTopFourKilobytes) {
    Send(MakeWriteFrame(0xC0000, 0x00));
    Send(MakeWriteFrame(0xFEC00, 0x00));
    Send(MakeWriteFrame(0xFF000, 0x00));
    EXPECT_EQ(Send(MakeEraseFrame(kNormalErase)), "BE\r\n");
    EXPECT_EQ(radio.flashAt(0xC0000), 0xFF);
    EXPECT_EQ(radio.flashAt(0xFEFFF), 0xFF);
    EXPECT_EQ(radio.flashAt(0xFF000), 0x00);
}

TEST_F(FlashModeTest, RefusesBadFramesWithoutActing) {
    Send(MakeWriteFrame(0xC0000, 0x00));
    Bytes corrupted = MakeEraseFrame(kNormalErase);
    corrupted[100] ^= 0x01;
    EXPECT_EQ(Send(corrupted), "NG\r\n");
    EXPECT_EQ(Send(MakeEraseFrame({0xCFFFE, 0xC1234})), "NG\r\n");
    EXPECT_EQ(Send(MakeFrame("XY")), "NG\r\n");
    EXPECT_EQ(radio.flashAt(0xC0000), 0x00);
    EXPECT_EQ(radio.requests().back().kind, RequestKind::FlashUnknown);
    EXPECT_EQ(radio.requests()[radio.requests().size() - 3].kind, RequestKind::FlashBadChecksum);
}

TEST_F(FlashModeTest, EndFrameLeavesFlashMode) {
    const Response response = radio.feed(MakeFrame("ED"));
    EXPECT_TRUE(response.flashConnectionEnded);
    EXPECT_EQ(radio.mode(), RadioMode::Command);
    // Frames mean nothing outside flash mode.
    EXPECT_EQ(Send(MakeWriteFrame(0xC0000, 0x00)), "");
    EXPECT_EQ(radio.flashAt(0xC0000), 0xFF);
}

TEST_F(FlashModeTest, NoiseBeforeAFrameIsSkipped) {
    for (const Bytes& noise : {Bytes{0xFF, 0x00}, Bytes{0x00}, ToBytes("QK~"), Bytes{0xFF, 0xFF}}) {
        EXPECT_EQ(Answer(radio, Concat(noise, MakeWriteFrame(0xC0000, 0x00))), ToBytes("PG\r\n"))
            << testing::PrintToString(noise);
    }
}

Bytes DataLine(std::uint16_t row, std::uint8_t fill) {
    Bytes line{static_cast<std::uint8_t>(row >> 8), static_cast<std::uint8_t>(row)};
    line.resize(18, fill);
    line.resize(kLineSize, 0x00);
    return line;
}

Bytes ControlLine(std::string_view first4) {
    Bytes line = ToBytes(first4);
    line.resize(kLineSize, 0x00);
    return line;
}

TEST(TextModes, DataLineIsReadBackAndProgrammedByTheOkLine) {
    for (const bool prefixed : {false, true}) {
        SCOPED_TRACE(prefixed ? "mode 1" : "mode 0");
        SimulatedRadio radio;
        Answer(radio, prefixed ? "FL\r" : "QK~E\r");
        const auto line = [&](Bytes l) { return prefixed ? Concat(ToBytes("CL~"), l) : l; };
        const Bytes ok = ToBytes("OK\r\n" + kPadding);

        const Bytes data = line(DataLine(0xC005, 0x3C));
        const Bytes received = Exchange(radio, data);
        EXPECT_EQ(received.size(), prefixed ? 43u : 40u);
        EXPECT_EQ(Bytes(received.end() - kLineSize, received.end()), DataLine(0xC005, 0x3C));
        EXPECT_EQ(radio.flashAt(0xC0050), 0xFF);
        EXPECT_EQ(Answer(radio, line(ControlLine("OK\r\n"))), ok);
        EXPECT_EQ(radio.flashAt(0xC0050), 0x3C);
        EXPECT_EQ(radio.flashAt(0xC005F), 0x3C);
        EXPECT_EQ(radio.flashAt(0xC0060), 0xFF);

        // An NG line drops the row: the OK line after it programs nothing.
        Answer(radio, line(DataLine(0xC006, 0x00)));
        EXPECT_EQ(Answer(radio, line(ControlLine("NG\r\n"))), ok);
        EXPECT_EQ(Answer(radio, line(ControlLine("OK\r\n"))), ok);
        EXPECT_EQ(radio.flashAt(0xC0060), 0xFF);

        EXPECT_EQ(Answer(radio, line(ControlLine("\x01\x01\r\n"s))), ok);
        EXPECT_EQ(radio.flashAt(0xC0050), 0xFF);
        EXPECT_EQ(Answer(radio, line(ControlLine("\x00\x00\r\n"s))), ok);
        EXPECT_EQ(radio.mode(), RadioMode::Command);

        std::vector<RequestKind> kinds;
        for (const auto& r : radio.requests()) kinds.push_back(r.kind);
        EXPECT_EQ(kinds, (std::vector<RequestKind>{
                             prefixed ? RequestKind::EnterText1 : RequestKind::EnterText0,
                             RequestKind::LineData, RequestKind::LineOk, RequestKind::LineData,
                             RequestKind::LineNg, RequestKind::LineOk, RequestKind::LineErase,
                             RequestKind::LineEnd}));
        EXPECT_EQ(radio.requests()[1].address, 0xC0050u);
    }
}

TEST(TextModes, RowNeedingABitSetAgainIsRefused) {
    SimulatedRadio radio;
    Answer(radio, "QK~E\r");
    Answer(radio, DataLine(0xD000, 0x00));
    Answer(radio, ControlLine("OK\r\n"));
    Answer(radio, DataLine(0xD000, 0x01));
    EXPECT_EQ(Answer(radio, ControlLine("OK\r\n")), ToBytes("NG\r\n" + kPadding));
    EXPECT_EQ(radio.flashAt(0xD0000), 0x00);
}

TEST(Faults, ChangeOnlyWhatComesBack) {
    struct Case {
        const char* name;
        RadioConfig config;
        std::string request;
        std::string received;
    };
    const std::string id = "QK~VQ-K38\r";
    const std::vector<Case> cases = {
        {"silent", {.silent = true}, id, ""},
        {"first 3 bytes", {.answerBytes = 3}, id, id + "\r\nO"},
        {"echo only", {.answerBytes = 0}, id, id},
        {"framed token", {.token = "NG"}, id, id + "\r\nNG\r\n"},
        {"plain token", {.token = "OK"}, "QK~FLASH\r", "QK~FLASH\rOK\r\n"},
        {"padded token", {.token = "CT"}, "QK~E\r", "QK~E\rCT\r\n" + kPadding},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedRadio radio(c.config);
        EXPECT_EQ(Exchange(radio, c.request), ToBytes(c.received));
    }
    SimulatedRadio tokened({.token = "NG"});
    Exchange(tokened, "QK~FLASH\r");
    EXPECT_EQ(tokened.mode(), RadioMode::Flash);
}

TEST(Faults, TokenForOneKindOverridesTheCommonToken) {
    SimulatedRadio radio(
        {.token = "RE",
         .tokenFor = {{RequestKind::EnterFlash, "OK"}, {RequestKind::FlashErase, "NG"}}});
    EXPECT_EQ(Answer(radio, "QK~VQ-K38\r"), "\r\nRE\r\n");
    EXPECT_EQ(Answer(radio, "QK~FLASH\r"), "OK\r\n");
    Answer(radio, MakeWriteFrame(0xC0000, 0x00));
    EXPECT_EQ(Answer(radio, MakeEraseFrame(kNormalErase)), ToBytes("NG\r\n"));
    // The radio still did what it was asked.
    EXPECT_EQ(radio.mode(), RadioMode::Flash);
    EXPECT_EQ(radio.flashAt(0xC0000), 0xFF);
}

TEST(Faults, LateAnswerFollowsItsEcho) {
    SimulatedRadio radio({.late = 300ms});
    const Response response = radio.feed(ToBytes("QK~FLASH\r"));
    ASSERT_EQ(response.chunks.size(), 2u);
    EXPECT_EQ(response.chunks[0].bytes, ToBytes("QK~FLASH\r"));
    EXPECT_EQ(response.chunks[0].delay, 0ms);
    EXPECT_EQ(response.chunks[1].bytes, ToBytes("CT\r\n"));
    EXPECT_EQ(response.chunks[1].delay, 300ms);
}

TEST(Faults, ChosenBlockIsRefusedForItsFirstAttemptsOrNeverAnswered) {
    RadioConfig config;
    config.blockToken = RadioConfig::BlockToken{0xC0400, "NG", 2};
    config.dropBlock = 0xC0800;
    SimulatedRadio radio(config);
    Exchange(radio, "QK~FLASH\r");
    const std::vector<std::pair<std::uint32_t, std::string>> writes = {
        {0xC0000, "PG\r\n"}, {0xC0400, "NG\r\n"}, {0xC0400, "NG\r\n"}, {0xC0400, "PG\r\n"},
        {0xC0800, ""},       {0xC0800, ""},       {0xC0C00, "PG\r\n"},
    };
    for (const auto& [address, answer] : writes) {
        EXPECT_EQ(Answer(radio, MakeWriteFrame(address, 0x00)), ToBytes(answer))
            << std::hex << address;
    }
}

TEST(Faults, GoesSilentAfterTheGivenNumberOfFrames) {
    SimulatedRadio radio({.silentAfterFrames = 2});
    Exchange(radio, "QK~FLASH\r");
    EXPECT_EQ(Answer(radio, MakeWriteFrame(0xC0000, 0x00)), ToBytes("PG\r\n"));
    EXPECT_EQ(Answer(radio, MakeWriteFrame(0xC0400, 0x00)), ToBytes("PG\r\n"));
    EXPECT_TRUE(Exchange(radio, MakeWriteFrame(0xC0800, 0x00)).empty());
    EXPECT_TRUE(Exchange(radio, "QK~VQ-K38\r").empty());
    EXPECT_EQ(radio.flashAt(0xC0800), 0xFF);
}

TEST(Faults, UnplugCutsTheLineInTheChosenFrame) {
    SimulatedRadio radio({.unplugAfterBytes = 100, .unplugInFrame = 2});
    Exchange(radio, "QK~FLASH\r");
    const Bytes first = MakeWriteFrame(0xC0000, 0x00);
    EXPECT_FALSE(radio.feed(first).hangUp);

    const Bytes second = MakeWriteFrame(0xC0400, 0x00);
    const Response response = radio.feed(second);
    EXPECT_TRUE(response.hangUp);
    EXPECT_EQ(response.joined(), Bytes(second.begin(), second.begin() + 100));
    EXPECT_TRUE(radio.unplugged());
    EXPECT_TRUE(radio.feed(second).joined().empty());
    EXPECT_EQ(radio.flashAt(0xC0400), 0xFF);
}

TEST(Faults, ComesBackFromSilenceWithNoiseAheadOfTheEcho) {
    SimulatedRadio radio(
        {.silentAfterFrames = 1, .silentForBytes = kFrameSize, .garbageOnReturn = 50});
    Exchange(radio, "QK~FLASH\r");
    EXPECT_EQ(Answer(radio, MakeWriteFrame(0xC0000, 0x00)), ToBytes("PG\r\n"));

    // The tool's first try goes unheard, in two halves as the tool sends it.
    const Bytes frame = MakeWriteFrame(0xC0400, 0x00);
    EXPECT_TRUE(radio.feed(std::span(frame).first(512)).joined().empty());
    EXPECT_TRUE(radio.feed(std::span(frame).subspan(512)).joined().empty());
    EXPECT_EQ(radio.flashAt(0xC0400), 0xFF);

    const Bytes retry = radio.feed(frame).joined();
    ASSERT_EQ(retry.size(), 50 + kFrameSize + 4);
    EXPECT_NE(Bytes(retry.begin(), retry.begin() + 50), Bytes(50, 0x00));
    EXPECT_EQ(Bytes(retry.begin() + 50, retry.end()), Concat(frame, ToBytes("PG\r\n")));
    EXPECT_EQ(radio.flashAt(0xC0400), 0x00);
    // The noise comes once.
    EXPECT_EQ(Answer(radio, MakeWriteFrame(0xC0800, 0x00)), ToBytes("PG\r\n"));
    EXPECT_EQ(radio.requests().size(), 4u);
}

TEST(Faults, FirstRequestHeardAgainComesBackGarbled) {
    SimulatedRadio radio(
        {.silentAfterFrames = 1, .silentForBytes = kFrameSize, .garbleOnReturn = true});
    Exchange(radio, "QK~FLASH\r");
    Exchange(radio, MakeWriteFrame(0xC0000, 0x00));
    const Bytes frame = MakeWriteFrame(0xC0400, 0x00);
    EXPECT_TRUE(Exchange(radio, frame).empty());

    Bytes garbled = Concat(frame, ToBytes("PG\r\n"));
    for (std::uint8_t& b : garbled) b = static_cast<std::uint8_t>(~b);
    const Bytes first = radio.feed(std::span(frame).first(512)).joined();
    EXPECT_EQ(Concat(first, radio.feed(std::span(frame).subspan(512)).joined()), garbled);
    EXPECT_EQ(radio.requests().back().token, "");
    EXPECT_EQ(radio.flashAt(0xC0400), 0x00) << "the radio heard the frame unchanged";
    EXPECT_EQ(Answer(radio, MakeWriteFrame(0xC0800, 0x00)), ToBytes("PG\r\n"));
}

TEST(Faults, OneChosenAnswerIsLateTheOthersKeepTheCommonDelay) {
    SimulatedRadio radio({.late = 10ms, .lateOnce = RadioConfig::LateReply{2, 5500ms}});
    std::vector<std::chrono::milliseconds> delays;
    for (const char* request : {"QK~VQ-K38\r", "QK~FLASH\r", "QK~VQ-K38\r"}) {
        const Response response = radio.feed(ToBytes(request));
        ASSERT_EQ(response.chunks.size(), 2u);
        delays.push_back(response.chunks[1].delay);
    }
    EXPECT_EQ(delays, (std::vector<std::chrono::milliseconds>{10ms, 5500ms, 10ms}));
}

TEST(Faults, EchoFlipChangesTheEchoButNotWhatTheRadioHears) {
    SimulatedRadio radio({.echoFlip = 5});
    std::string identify = "QK~VQ-K38\r\r\nOK\r\n";
    identify[5] = static_cast<char>(identify[5] ^ 0xFF);
    EXPECT_EQ(Exchange(radio, "QK~VQ-K38\r"), ToBytes(identify));

    Exchange(radio, "QK~FLASH\r");
    // Byte 5 of a write frame is the middle byte of the block address.
    const Bytes frame = MakeWriteFrame(0xC0400, 0x12);
    Bytes expected = Concat(frame, ToBytes("PG\r\n"));
    expected[5] ^= 0xFF;
    EXPECT_EQ(Exchange(radio, frame), expected);
    EXPECT_EQ(radio.flashAt(0xC0400), 0x12);
}

TEST(Faults, EachRecordKeepsTheTokenItsAnswerCarried) {
    struct Case {
        const char* name;
        RadioConfig config;
        std::string token;
    };
    const std::vector<Case> cases = {
        {"plain", {}, "PG"},
        {"replaced", {.token = "NG"}, "NG"},
        {"dropped", {.dropBlock = 0xC0400}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedRadio radio(c.config);
        Exchange(radio, "QK~FLASH\r");
        Exchange(radio, MakeWriteFrame(0xC0400, 0x00));
        EXPECT_EQ(radio.requests().back().token, c.token);
    }
    SimulatedRadio text;
    Exchange(text, "QK~E\r");
    Exchange(text, DataLine(0xC005, 0x00));
    EXPECT_EQ(text.requests().front().token, "OK");
    EXPECT_EQ(text.requests().back().token, "") << "a read-back carries no token";
}

}  // namespace
}  // namespace vq::sim
