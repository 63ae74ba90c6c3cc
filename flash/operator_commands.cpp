#include "operator_commands.h"

#include <array>

namespace vq {
namespace {

CommandOutcome Judge(Step step, std::int16_t result, std::int16_t successValue,
                     std::string successMessage, std::string failureMessage) {
    const bool success = result == successValue;
    return {true, success, step, result, success ? std::move(successMessage) : failureMessage};
}

}  // namespace

CommandOutcome RunOperatorCommand(Link& link, FlashProgrammer& flash, Step step,
                                  std::int16_t mode) {
    const bool flashMode = mode == 2;
    switch (step) {
        case Step::Connect:
            return Judge(step, link.ConnectTarget(mode), flashMode ? ReplyCt : ReplyOk,
                         "Connected.", "Connect failed.");
        case Step::Erase:
            return flashMode ? Judge(step, flash.EraseFlash(), ReplyBe, "Erased.", "Erase failed.")
                             : Judge(step, flash.SendCommandWord("ERASE", mode), ReplyOk, "Erased.",
                                     "Erase failed.");
        case Step::Write:
            return Judge(step, flashMode ? flash.WriteFlash() : flash.WriteImage(mode), 0,
                         mode == 1 ? "Write completed." : "Write OK.", "Write failed.");
        case Step::Disconnect:
            return flashMode
                       ? Judge(step, flash.DisconnectTarget(), ReplyEd, "Disconnected.",
                               "Disconnect failed.")
                       : Judge(step, flash.SendCommandWord("END", mode), ReplyOk,
                               mode == 0 ? "Disconnected" : "Disconnected.", "Disconnect failed.");
        case Step::Identify:
            break;
    }
    const std::int16_t result = link.IdentifyTarget();
    return {true, result == ReplyOk, Step::Identify, result,
            result == ReplyOk            ? "OK"
            : result == ReplyRegionError ? "Region error"
                                         : "Error"};
}

CommandOutcome RunSequence(Link& link, FlashProgrammer& flash, std::int16_t index) {
    if (index < 0 || index > 2) return {false, false, Step::Connect, 0, {}};
    constexpr std::array kSteps{Step::Connect, Step::Erase, Step::Write, Step::Disconnect};
    CommandOutcome outcome;
    for (const Step step : kSteps) {
        outcome = RunOperatorCommand(link, flash, step, index);
        if (!outcome.success) return outcome;
    }
    outcome.message = index == 2 ? "Completed." : "FLASH Memory writing completed.";
    return outcome;
}

CommandOutcome RunStartJob(Link& link, FlashProgrammer& flash) {
    const CommandOutcome identified = RunOperatorCommand(link, flash, Step::Identify, 2);
    if (!identified.success) return identified;
    return RunSequence(link, flash, 2);
}

}  // namespace vq
