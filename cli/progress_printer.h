#pragma once

#include <chrono>
#include <cstdio>
#include <optional>

#include "flash_programmer.h"

namespace vq::cli {

// Shows the programmer's progress on standard error: on a terminal one line that updates in
// place (address, blocks done of blocks to write, bytes per second, time left), otherwise one
// plain line per block, so that a script or a parent process can read it.
class ProgressPrinter {
  public:
    // A unit is a block in flash mode and a row in the text modes; bytesPerUnit is what one
    // unit puts on the line.
    ProgressPrinter(std::FILE* out, bool terminal, bool verbose, const char* unitName,
                    int bytesPerUnit)
        : m_out(out),
          m_terminal(terminal),
          m_verbose(verbose),
          m_unitName(unitName),
          m_bytesPerUnit(bytesPerUnit) {}

    void operator()(const FlashEvent& event);
    // Ends an updating line, so that what follows starts on a line of its own.
    void finish();

  private:
    void showUnit(const FlashEvent& event);
    void showFailure(const FlashEvent& event);

    std::FILE* m_out;
    bool m_terminal;
    bool m_verbose;
    const char* m_unitName;
    int m_bytesPerUnit;
    bool m_lineOpen = false;
    std::optional<std::chrono::steady_clock::time_point> m_start;
};

}  // namespace vq::cli
