#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "flash_rig.h"

namespace vq::test {
namespace {

using Bytes = FakeSerialPort::Bytes;
using Operation = std::function<std::int16_t(FlashProgrammer&)>;

std::deque<Reply> Times(int n, const Reply& reply) {
    return std::deque<Reply>(n, reply);
}

std::deque<Reply> Then(std::deque<Reply> first, const Reply& last) {
    first.push_back(last);
    return first;
}

Bytes Head(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + n);
}

struct RetryCase {
    const char* what;
    Operation operation;
    std::deque<Reply> script;
    std::int16_t result;
    int requests;
};

TEST(Retries, EachOperationStopsOnItsOwnCodesWithinItsAttempts) {
    const Operation erase = [](FlashProgrammer& f) { return f.EraseFlash(); };
    const Operation end = [](FlashProgrammer& f) { return f.DisconnectTarget(); };
    const auto word = [](const char* w, std::int16_t mode) -> Operation {
        return [=](FlashProgrammer& f) { return f.SendCommandWord(w, mode); };
    };
    const Reply ng = Answer("NG\r\n");
    const std::vector<RetryCase> cases = {
        {"erase OK", erase, {Answer("OK\r\n")}, ReplyOk, 1},
        {"erase BE on the 3rd", erase, Then(Times(2, ng), Answer("BE\r\n")), ReplyBe, 3},
        {"erase BE too late", erase, Then(Times(3, ng), Answer("BE\r\n")), 1, 3},
        {"erase answered ED", erase, Times(3, Answer("ED\r\n")), 1, 3},
        {"erase silent", erase, {}, 1, 3},
        {"end OK", end, {Answer("OK\r\n")}, ReplyOk, 1},
        {"end ED on the 10th", end, Then(Times(9, ng), Answer("ED\r\n")), ReplyEd, 10},
        {"end answered BE", end, Times(10, Answer("BE\r\n")), 1, 10},
        {"end silent", end, {}, 1, 10},
        {"ERASE answered ED", word("ERASE", 0), {Answer("ED\r\n")}, ReplyEd, 1},
        {"END answered BE", word("END", 1), {Answer("BE\r\n")}, ReplyBe, 1},
        {"ERASE OK on the 10th", word("ERASE", 1), Then(Times(9, ng), Answer("OK\r\n")), ReplyOk,
         10},
        {"END answered PG", word("END", 0), Times(10, Answer("PG\r\n")), 1, 10},
        {"END silent", word("END", 0), {}, 1, 10},
        {"END one byte short", word("END", 1), Times(10, {"ED\r\n", false, 17}), 1, 10},
    };
    for (const auto& c : cases) {
        FlashRig r;
        r.radio.script = c.script;
        EXPECT_EQ(c.operation(r.flash), c.result) << c.what;
        EXPECT_EQ(r.radio.requests, c.requests) << c.what;
        EXPECT_EQ(r.port.opens, 1) << c.what;
        EXPECT_FALSE(r.port.portOpen()) << c.what;
    }
}

TEST(Retries, EveryAttemptSendsTheSameRequest) {
    FlashRig r;
    r.radio.script = Then(Times(2, Answer("NG\r\n")), Answer("ED\r\n"));
    ASSERT_EQ(r.flash.DisconnectTarget(), ReplyEd);
    const auto frames = r.Frames();
    ASSERT_EQ(frames.size(), 3u);
    Bytes end = {0xFF, 0xFE, 0x45, 0x44};
    end.resize(1031, 0xFF);
    end.push_back(0x86);
    for (const auto& frame : frames) EXPECT_EQ(frame, end);
}

// One time-out per attempt, and between attempts one second of quiet line.
TEST(Retries, SilentRadioCostsOneTimeOutPerAttemptAndASecondBetween) {
    struct Case {
        Operation operation;
        long long ms;
    };
    const std::vector<Case> cases = {
        {[](FlashProgrammer& f) { return f.EraseFlash(); }, 3 * 5000 + 2 * 1000},
        {[](FlashProgrammer& f) { return f.DisconnectTarget(); }, 10 * 5000 + 9 * 1000},
        {[](FlashProgrammer& f) { return f.SendCommandWord("END", 0); }, 10 * 5000 + 9 * 1000},
    };
    for (const auto& c : cases) {
        FlashRig r;
        EXPECT_EQ(c.operation(r.flash), 1);
        EXPECT_EQ(r.clock.now(), std::chrono::milliseconds(c.ms));
    }
}

TEST(EraseFlash, FullRangeNeedsTheExactWord) {
    struct Case {
        std::string pin;
        Bytes ninthEntry;
        std::uint8_t checksum;
    };
    const std::vector<Case> cases = {
        {"", {0xFF, 0xFF, 0xFF, 0xFF}, 0xAE},
        {"KESTRAL", {0x00, 0x0F, 0xFF, 0xFE}, 0xBE},
        {"kestral", {0xFF, 0xFF, 0xFF, 0xFF}, 0xAE},
        {"KESTRAL ", {0xFF, 0xFF, 0xFF, 0xFF}, 0xAE},
    };
    for (const auto& c : cases) {
        FlashRig r;
        r.window.pinNumber = c.pin;
        r.radio.script = {Answer("BE\r\n")};
        ASSERT_EQ(r.flash.EraseFlash(), ReplyBe) << c.pin;
        const Bytes frame = r.Frames().at(0);
        EXPECT_EQ(Head(frame, 4), (Bytes{0xFF, 0xFE, 0x42, 0x45}));
        EXPECT_EQ(Bytes(frame.begin() + 32, frame.begin() + 40),
                  Concat({{0x00, 0x0C, 0xFF, 0xFE}, c.ninthEntry}))
            << c.pin;
        EXPECT_EQ(frame[1031], c.checksum) << c.pin;
    }
}

TEST(SendCommandWord, SendsTheWordsLineAndNothingForAnOtherWord) {
    struct Case {
        const char* word;
        std::int16_t mode;
        Bytes start;  // the line's first bytes on the wire
    };
    const std::vector<Case> cases = {
        {"ERASE", 0, {0x01, 0x01, 0x0D, 0x0A}},
        {"END", 0, {0x00, 0x00, 0x0D, 0x0A}},
        {"ERASE", 1, {'C', 'L', '~', 0x01, 0x01, 0x0D, 0x0A}},
        {"END", 1, {'C', 'L', '~', 0x00, 0x00, 0x0D, 0x0A}},
    };
    for (const auto& c : cases) {
        FlashRig r;
        r.radio.script = {Answer("OK\r\n")};
        ASSERT_EQ(r.flash.SendCommandWord(c.word, c.mode), ReplyOk) << c.word;
        ASSERT_EQ(r.port.writes.size(), 1u);
        EXPECT_EQ(Head(r.port.writes[0], c.start.size()), c.start) << c.word << c.mode;
    }
    for (const char* other : {"erase", "ERASE ", "", "FLASH"}) {
        FlashRig r;
        EXPECT_EQ(r.flash.SendCommandWord(other, 0), 1) << other;
        EXPECT_TRUE(r.port.writes.empty()) << other;
        EXPECT_EQ(r.port.opens, 1) << other;
        EXPECT_EQ(r.port.closes, 1) << other;
    }
}

class WriteFlashTest : public ::testing::Test {
  protected:
    FlashRig r;
};

TEST_F(WriteFlashTest, EmptyImageShowsEveryBlockAndSendsNothing) {
    struct Case {
        std::string pin;
        std::size_t blocks;
        std::string lastText;
        int lastBar;
    };
    for (const Case& c :
         std::vector<Case>{{"", 252, "FEC00", 0xFEC0}, {"KESTRAL", 256, "FFC00", 0xFFC0}}) {
        FlashRig rig;
        rig.window.pinNumber = c.pin;
        EXPECT_EQ(rig.flash.WriteFlash(), 0);
        EXPECT_TRUE(rig.port.writes.empty());
        ASSERT_EQ(rig.window.text1History.size(), c.blocks) << c.pin;
        EXPECT_EQ(rig.window.text1History.front(), "C0000");
        EXPECT_EQ(rig.window.text1History[1], "C0400");
        EXPECT_EQ(rig.window.text1History.back(), c.lastText);
        EXPECT_EQ(rig.window.barHistory.size(), c.blocks);
        EXPECT_EQ(rig.window.barHistory.front(), 0xC000);
        EXPECT_EQ(rig.window.barHistory.back(), c.lastBar);
        EXPECT_FALSE(rig.port.portOpen());
    }
}

TEST_F(WriteFlashTest, OneUsedRowSendsItsWholeBlock) {
    r.image.Store(0xC005, 3, 0x00);
    r.image.Store(0xC03F, 15, 0xFE);  // last row of the same block
    r.radio.otherwise = Answer("PG\r\n");
    EXPECT_EQ(r.flash.WriteFlash(), 0);
    const auto frames = r.Frames();
    ASSERT_EQ(frames.size(), 1u);
    const Bytes& frame = frames[0];
    EXPECT_EQ(Head(frame, 7), (Bytes{0xFF, 0xFE, 0x50, 0x47, 0x0C, 0x00, 0x00}));
    EXPECT_EQ(frame[7 + 16 * 5 + 3], 0x00);
    EXPECT_EQ(frame[1030], 0xFE);
    // 0xA3 is the all-erased block; the two stored bytes are 0xFF and 0x01 below erased.
    EXPECT_EQ(frame[1031], static_cast<std::uint8_t>(0xA3 - 0xFF - 0x01));
    EXPECT_EQ(std::count(frame.begin() + 7, frame.begin() + 1031, 0xFF), 1022);
}

TEST_F(WriteFlashTest, TopFourKilobytesOnlyInFullRange) {
    struct Case {
        std::string pin;
        std::size_t frames;
    };
    for (const Case& c : std::vector<Case>{{"", 0}, {"KESTRAL", 1}, {"Kestral", 0}}) {
        FlashRig rig;
        rig.window.pinNumber = c.pin;
        rig.image.Store(0xFF00, 0, 0x00);
        rig.radio.otherwise = Answer("OK\r\n");
        EXPECT_EQ(rig.flash.WriteFlash(), 0) << c.pin;
        const auto frames = rig.Frames();
        ASSERT_EQ(frames.size(), c.frames) << c.pin;
        if (c.frames == 1) {
            EXPECT_EQ(Head(frames[0], 7), (Bytes{0xFF, 0xFE, 0x50, 0x47, 0x0F, 0xF0, 0x00}));
        }
    }
}

TEST_F(WriteFlashTest, TenFailuresOfOneBlockEndTheWrite) {
    r.image.Store(0xC000, 0, 0x00);
    r.image.Store(0xC400, 0, 0x00);  // block 0xC4000
    r.image.Store(0xE000, 0, 0x00);  // block 0xE0000
    r.radio.script = Then(Then(Times(9, Answer("NG\r\n")), Answer("PG\r\n")), Answer("OK\r\n"));
    r.radio.otherwise = Answer("NG\r\n");
    EXPECT_EQ(r.flash.WriteFlash(), 1);
    // First block on its 10th try, second at once, third given up after 10.
    EXPECT_EQ(r.radio.requests, 10 + 1 + 10);
    EXPECT_EQ(Head(r.Frames().back(), 7), (Bytes{0xFF, 0xFE, 0x50, 0x47, 0x0E, 0x00, 0x00}));
    EXPECT_EQ(r.window.text1History.back(), "E0000");
    EXPECT_EQ(r.window.barHistory.back(), 0xE000);
    EXPECT_FALSE(r.port.portOpen());
}

TEST_F(WriteFlashTest, ReportsEachBlockAndEachFailedAttempt) {
    r.image.Store(0xC000, 0, 0x00);
    r.image.Store(0xFEC0, 0, 0x00);
    r.radio.script = {Silent(), Answer("NG\r\n"), Answer("PG\r\n"), Answer("OK\r\n")};
    std::vector<FlashEvent> events;
    r.flash.SetObserver([&](const FlashEvent& e) { events.push_back(e); });
    ASSERT_EQ(r.flash.WriteFlash(), 0);
    using K = FlashEvent::Kind;
    ASSERT_EQ(events.size(), 6u);
    const std::vector<std::tuple<K, std::uint32_t, int, int>> expected = {
        {K::UnitStarted, 0xC0000, 0, 2},   {K::AttemptFailed, 0xC0000, 0, 2},
        {K::AttemptFailed, 0xC0000, 0, 2}, {K::UnitFinished, 0xC0000, 1, 2},
        {K::UnitStarted, 0xFEC00, 1, 2},   {K::UnitFinished, 0xFEC00, 2, 2},
    };
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(std::tie(events[i].kind, events[i].address, events[i].unitsDone,
                           events[i].unitsToWrite),
                  expected[i])
            << i;
    }
    const AttemptRecord& timedOut = events[1].attempt;
    EXPECT_EQ(timedOut.cause, AttemptFailure::ShortReply);
    EXPECT_EQ(std::tie(timedOut.attempt, timedOut.attempts, timedOut.expected, timedOut.received),
              std::make_tuple(1, 10, 1036, 0));
    const AttemptRecord& rejected = events[2].attempt;
    EXPECT_EQ(rejected.cause, AttemptFailure::Rejected);
    EXPECT_EQ(rejected.code, ReplyNg);
    EXPECT_EQ(std::tie(rejected.attempt, rejected.received), std::make_tuple(2, 1036));
}

TEST(WriteImage, WritesEachUsedRowWithReadBackAndOkLine) {
    struct Case {
        std::int16_t mode;
        Bytes prefix;
    };
    for (const Case& c : std::vector<Case>{{0, {}}, {1, {'C', 'L', '~'}}}) {
        FlashRig r;
        r.image.Store(0xC005, 0, 0x11);
        r.radio.script = {{"", false, 0, true}, Answer("OK\r\n")};
        EXPECT_EQ(r.flash.WriteImage(c.mode), 0) << c.mode;
        ASSERT_EQ(r.port.writes.size(), 2u) << c.mode;
        const std::size_t p = c.prefix.size();
        EXPECT_EQ(r.port.writes[0].size(), 20 + p);
        EXPECT_EQ(Head(r.port.writes[0], p + 3), Concat({c.prefix, {0xC0, 0x05, 0x11}}));
        EXPECT_EQ(Head(r.port.writes[1], p + 4), Concat({c.prefix, {'O', 'K', 0x0D, 0x0A}}));
        EXPECT_EQ(r.window.text1History.size(), 0xFF00u - 0xC000u);
        EXPECT_EQ(r.window.text1History[5], "C0050");
        EXPECT_EQ(r.window.text1History.back(), "FEFF0");
        EXPECT_TRUE(r.window.barHistory.empty());
        EXPECT_FALSE(r.port.portOpen());
    }
}

TEST(WriteImage, FailedTryIsAnsweredAndRetried) {
    const Reply readBack{"", false, 0, true};
    const Reply wrongReadBack{"", false, 0, false, true};
    struct Case {
        const char* what;
        std::deque<Reply> script;
        std::vector<Bytes> lineStarts;  // first two bytes of each line sent
    };
    const std::vector<Case> cases = {
        {"read-back differs",
         {wrongReadBack, Answer("??\r\n"), readBack, Answer("OK\r\n")},
         {{0xC0, 0x05}, {'N', 'G'}, {0xC0, 0x05}, {'O', 'K'}}},
        {"data line timed out",
         {Silent(), readBack, Answer("OK\r\n")},
         {{0xC0, 0x05}, {0xC0, 0x05}, {'O', 'K'}}},
        {"OK line answered NG",
         {readBack, Answer("NG\r\n"), readBack, Answer("OK\r\n")},
         {{0xC0, 0x05}, {'O', 'K'}, {0xC0, 0x05}, {'O', 'K'}}},
    };
    for (const auto& c : cases) {
        FlashRig r;
        r.image.Store(0xC005, 0, 0x11);
        r.radio.script = c.script;
        EXPECT_EQ(r.flash.WriteImage(0), 0) << c.what;
        std::vector<Bytes> starts;
        for (const auto& w : r.port.writes) starts.push_back(Head(w, 2));
        EXPECT_EQ(starts, c.lineStarts) << c.what;
    }
}

TEST(WriteImage, TenFailedTriesOfOneRowEndTheWrite) {
    FlashRig r;
    r.image.Store(0xC005, 0, 0x11);
    r.image.Store(0xC006, 0, 0x11);
    r.radio.otherwise = {"", false, 0, false, true};
    EXPECT_EQ(r.flash.WriteImage(1), 1);
    EXPECT_EQ(r.radio.requests, 20);  // ten data lines, each answered with NG
    EXPECT_EQ(r.window.text1History.back(), "C0050");
}

TEST(WriteImage, NeverWritesTheTopFourKilobytes) {
    FlashRig r;
    r.window.pinNumber = "KESTRAL";
    r.image.Store(0xFF00, 0, 0x00);
    r.image.Store(0xFFFF, 15, 0x00);
    EXPECT_EQ(r.flash.WriteImage(0), 0);
    EXPECT_TRUE(r.port.writes.empty());
    EXPECT_EQ(r.window.text1History.back(), "FEFF0");
}

TEST(PortFailure, EndsTheOperationWithMinusOneAndThePortClosed) {
    struct Case {
        const char* what;
        Operation operation;
    };
    const std::vector<Case> operations = {
        {"erase", [](FlashProgrammer& f) { return f.EraseFlash(); }},
        {"end", [](FlashProgrammer& f) { return f.DisconnectTarget(); }},
        {"write", [](FlashProgrammer& f) { return f.WriteFlash(); }},
        {"write rows", [](FlashProgrammer& f) { return f.WriteImage(0); }},
        {"command word", [](FlashProgrammer& f) { return f.SendCommandWord("END", 1); }},
    };
    struct Failure {
        const char* what;
        std::function<void(FlashRig&)> arrange;
    };
    const std::vector<Failure> failures = {
        {"no port", [](FlashRig& r) { r.port.setPresentPorts({2}); }},
        {"first write fails", [](FlashRig& r) { r.port.failOutputAfter(0); }},
        {"second write fails", [](FlashRig& r) { r.port.failOutputAfter(1); }},
    };
    for (const auto& op : operations) {
        for (const auto& failure : failures) {
            FlashRig r;
            r.image.Store(0xC005, 0, 0x11);
            r.radio.otherwise = Answer("NG\r\n");
            failure.arrange(r);
            EXPECT_EQ(op.operation(r.flash), -1) << op.what << ", " << failure.what;
            EXPECT_FALSE(r.port.portOpen()) << op.what << ", " << failure.what;
            EXPECT_EQ(r.port.opens, r.port.closes) << op.what << ", " << failure.what;
        }
    }
}

TEST(PortFailure, ModeOutsideTheTextModesSendsNothing) {
    for (std::int16_t mode : {2, -1, 3}) {
        FlashRig r;
        r.image.Store(0xC005, 0, 0x11);
        EXPECT_EQ(r.flash.WriteImage(mode), -1) << mode;
        EXPECT_EQ(r.flash.SendCommandWord("END", mode), -1) << mode;
        EXPECT_TRUE(r.port.writes.empty()) << mode;
        EXPECT_FALSE(r.port.portOpen());
    }
}

// A block or row the write took on, and how many tries it made of it.
struct Unit {
    std::uint32_t address;
    int tries;
    bool operator==(const Unit&) const = default;
};

void PrintTo(const Unit& unit, std::ostream* out) {
    *out << std::hex << unit.address << std::dec << " x" << unit.tries;
}

// Each script puts an answer on the line after the tool stopped waiting for it. Unless the
// retry waits for the line to go quiet, that answer is read as the answer to a later request:
// a block or row the radio refused, or never answered in time, is then taken as written.
TEST(StaleInput, AnAnswerStillOnItsWayIsNeverReadAsALaterRequests) {
    using namespace std::chrono_literals;
    const Reply readBack{"", false, 0, true};
    Reply refusedWithTail = Answer("NG\r\n");
    refusedWithTail.tail = "PG\r\n";
    struct Case {
        const char* what;
        std::int16_t mode;  // 2: WriteFlash, else WriteImage(mode)
        std::deque<Reply> script;
        Reply otherwise;
        std::int16_t result;
        std::vector<Unit> units;
    };
    // Two used blocks at 0xC0000 and 0xC0400; in the text modes their first rows.
    const std::vector<Case> cases = {
        {"an answer after the time-out is dropped before the retry",
         2,
         {Late("PG\r\n", 5500ms), Late("NG\r\n", 1000ms), Answer("PG\r\n")},
         Answer("PG\r\n"),
         0,
         {{0xC0000, 3}, {0xC0400, 1}}},
        {"the tail of a refused answer is dropped before the retry",
         2,
         {refusedWithTail, Late("NG\r\n", 100ms), Answer("PG\r\n")},
         Answer("PG\r\n"),
         0,
         {{0xC0000, 3}, {0xC0400, 1}}},
        {"late answers do not confirm the blocks behind them",
         2,
         {Late("PG\r\n", 5400ms), Late("PG\r\n", 5200ms)},
         Late("NG\r\n", 5300ms),
         1,
         {{0xC0000, 10}}},
        {"late OK answers do not confirm the rows behind them",
         0,
         {readBack, Late("OK\r\n", 5400ms), readBack, Late("OK\r\n", 5200ms), readBack,
          Late("NG\r\n", 5300ms)},
         Silent(),
         1,
         {{0xC0000, 10}}},
    };
    for (const Case& c : cases) {
        FlashRig r;
        r.image.Store(0xC000, 0, 0x11);
        r.image.Store(0xC040, 0, 0x22);
        r.radio.script = c.script;
        r.radio.otherwise = c.otherwise;
        std::vector<Unit> units;
        r.flash.SetObserver([&](const FlashEvent& e) {
            if (e.kind == FlashEvent::Kind::UnitStarted) {
                units.push_back({e.address, 0});
            } else {
                ++units.back().tries;
            }
        });
        const std::int16_t result = c.mode == 2 ? r.flash.WriteFlash() : r.flash.WriteImage(c.mode);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(units, c.units) << c.what;
        EXPECT_FALSE(r.port.portOpen()) << c.what;
    }
}

TEST(StaleInput, LateReplyDoesNotSpoilTheNextAttempt) {
    // The first answer misses its last byte, so those bytes are still waiting when the
    // second frame goes out.
    FlashRig r;
    r.radio.script = {{"ED\r\n", false, 1}, Answer("ED\r\n")};
    EXPECT_EQ(r.flash.DisconnectTarget(), ReplyEd);
    EXPECT_EQ(r.radio.requests, 2);
}

TEST(StaleInput, BytesWaitingOnAnOpenPortAreDropped) {
    FlashRig r;
    r.port.setPortOpen(true);
    r.port.deliver(BytesOf("ED\r\nED\r\n"));
    r.clock.runNext();
    ASSERT_EQ(r.port.inBufferCount(), 8);
    r.radio.script = {Answer("BE\r\n")};
    EXPECT_EQ(r.flash.SendCommandWord("END", 0), ReplyBe);
    EXPECT_EQ(r.radio.requests, 1);
    EXPECT_EQ(r.port.opens, 1);  // the open port was used as it was
}

}  // namespace
}  // namespace vq::test
