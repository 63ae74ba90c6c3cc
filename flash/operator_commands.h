#pragma once

#include <cstdint>
#include <string>

#include "flash_programmer.h"
#include "link.h"

namespace vq {

// The four steps of a programming job, plus the identification that Start runs first.
enum class Step : std::uint8_t { Identify, Connect, Erase, Write, Disconnect };

// How a command, a sequence or Start ended, judged as the operator's buttons judge it.
struct CommandOutcome {
    bool ran = true;            // false when nothing was run (a sequence index other than 0..2)
    bool success = false;       // the step's one success value was returned
    Step step = Step::Connect;  // the step that ended it: the failing one, or the last
    std::int16_t result = 0;    // that step's operation result
    std::string message;        // the text the operator is shown
};

// One service button: the step's operation in the mode (0 and 1 the text modes, 2 flash
// mode), its result compared with the one value the button counts as success.
CommandOutcome RunOperatorCommand(Link& link, FlashProgrammer& flash, Step step, std::int16_t mode);

// A programming sequence: connect, erase, write and end in the mode of the index, stopping
// at the first failure, with no clean-up step after it.
CommandOutcome RunSequence(Link& link, FlashProgrammer& flash, std::int16_t index);

// Start: the identification, then sequence 2 when the radio accepted it.
CommandOutcome RunStartJob(Link& link, FlashProgrammer& flash);

}  // namespace vq
