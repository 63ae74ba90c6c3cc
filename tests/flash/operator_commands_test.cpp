#include "operator_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash_rig.h"

namespace vq::test {
namespace {

struct CommandCase {
    Step step;
    std::int16_t mode;
    std::string answer;
    bool success;
    std::string message;
};

// Each service button counts exactly one result as success, and some differ only there.
TEST(RunOperatorCommand, JudgesEachStepByItsOwnSuccessValue) {
    const std::string ok = "OK\r\n";
    const std::vector<CommandCase> cases = {
        {Step::Connect, 2, "CT\r\n", true, "Connected."},
        {Step::Connect, 2, ok, false, "Connect failed."},
        {Step::Connect, 0, ok, true, "Connected."},
        {Step::Connect, 1, ok, true, "Connected."},
        {Step::Connect, 0, "CT\r\n", false, "Connect failed."},
        {Step::Erase, 2, "BE\r\n", true, "Erased."},
        {Step::Erase, 2, ok, false, "Erase failed."},
        {Step::Erase, 0, ok, true, "Erased."},
        {Step::Erase, 1, "BE\r\n", false, "Erase failed."},
        {Step::Write, 2, "PG\r\n", true, "Write OK."},
        {Step::Write, 0, ok, true, "Write OK."},
        {Step::Write, 1, ok, true, "Write completed."},
        {Step::Disconnect, 2, "ED\r\n", true, "Disconnected."},
        {Step::Disconnect, 2, ok, false, "Disconnect failed."},
        {Step::Disconnect, 0, ok, true, "Disconnected"},
        {Step::Disconnect, 1, ok, true, "Disconnected."},
        {Step::Disconnect, 1, "ED\r\n", false, "Disconnect failed."},
        {Step::Identify, 2, "\r\nOK\r\n", true, "OK"},
        {Step::Identify, 2, "\r\nRE\r\n", false, "Region error"},
        {Step::Identify, 2, "\r\nNG\r\n", false, "Error"},
    };
    for (const auto& c : cases) {
        FlashRig rig;
        rig.radio.otherwise = Answer(c.answer);
        const auto outcome = RunOperatorCommand(rig.link, rig.flash, c.step, c.mode);
        EXPECT_EQ(outcome.success, c.success) << c.message << " mode " << c.mode;
        EXPECT_EQ(outcome.message, c.message) << "mode " << c.mode << " answer " << c.answer;
        EXPECT_EQ(outcome.step, c.step);
        EXPECT_FALSE(rig.port.portOpen());
    }
}

TEST(RunSequence, RunsTheFourStepsAndStopsAtTheFirstFailure) {
    struct SequenceCase {
        std::int16_t index;
        std::vector<std::string> answers;
        std::string message;
        int requests;
    };
    // The image has one used row, so the flash-mode write sends one block and the text-mode
    // write one data line and its OK line.
    const std::vector<SequenceCase> cases = {
        {2, {"CT\r\n", "BE\r\n", "PG\r\n", "ED\r\n"}, "Completed.", 4},
        {2, {"OK\r\n"}, "Connect failed.", 1},
        {2, {"CT\r\n", "NG\r\n", "NG\r\n", "NG\r\n"}, "Erase failed.", 4},
        {2, {"CT\r\n", "BE\r\n"}, "Write failed.", 12},
        {0, {"OK\r\n", "OK\r\n", "", "OK\r\n", "OK\r\n"}, "FLASH Memory writing completed.", 5},
        {1, {"OK\r\n", "NG\r\n"}, "Erase failed.", 11},
    };
    for (const auto& c : cases) {
        FlashRig rig;
        rig.image.Store(0xC005, 0, 0x12);
        for (const auto& answer : c.answers) {
            Reply reply = Answer(answer);
            reply.readBack = answer.empty();
            rig.radio.script.push_back(reply);
        }
        rig.radio.otherwise = Answer("NG\r\n");
        const auto outcome = RunSequence(rig.link, rig.flash, c.index);
        EXPECT_EQ(outcome.message, c.message) << "sequence " << c.index;
        EXPECT_EQ(outcome.success, c.message.find("ompleted") != std::string::npos);
        EXPECT_EQ(rig.radio.requests, c.requests) << c.message << ": nothing after the failure";
        EXPECT_FALSE(rig.port.portOpen());
    }
}

TEST(RunSequence, AnIndexOutsideTheThreeSequencesRunsNothing) {
    FlashRig rig;
    const auto outcome = RunSequence(rig.link, rig.flash, 3);
    EXPECT_FALSE(outcome.ran);
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_EQ(rig.port.opens, 0);
}

TEST(RunStartJob, IdentifiesFirstAndTouchesNothingElseWhenRefused) {
    for (const std::string answer : {"\r\nRE\r\n", "\r\n01\r\n"}) {
        FlashRig rig;
        rig.radio.script = {Answer(answer)};
        rig.radio.otherwise = Answer("CT\r\n");
        const auto outcome = RunStartJob(rig.link, rig.flash);
        EXPECT_EQ(outcome.step, Step::Identify);
        EXPECT_EQ(outcome.message, answer == "\r\nRE\r\n" ? "Region error" : "Error");
        EXPECT_EQ(rig.radio.requests, 1);
    }
    FlashRig rig;
    rig.radio.script = {Answer("\r\nOK\r\n"), Answer("CT\r\n"), Answer("BE\r\n"), Answer("ED\r\n")};
    const auto outcome = RunStartJob(rig.link, rig.flash);
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(outcome.message, "Completed.");
    EXPECT_EQ(outcome.step, Step::Disconnect);
}

}  // namespace
}  // namespace vq::test
