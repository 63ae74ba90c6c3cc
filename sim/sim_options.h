#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "simulated_radio.h"

namespace vq::sim {

// The command line of vqradio-sim.
struct SimOptions {
    RadioConfig radio;
    // A symlink made to the device, so that a port prefix finds it (e.g. /tmp/vqsim0).
    std::string linkPath;
    // One line per event: open, settings, request, close, unplug, dump.
    std::string logPath;
    // The flash content, written when a flash-mode connection ends and at exit.
    std::string dumpPath;
    // Bytes go back at the line speed the tool set, 10 bits per byte.
    bool paced = false;
    // Every byte goes back in a write of its own, this long after the one before.
    std::optional<std::chrono::milliseconds> byteGap{};
    bool help = false;
};

// Fills options from the arguments (without the program name); false with a reason in
// error when an argument is not understood.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

std::string SimUsage();

}  // namespace vq::sim
