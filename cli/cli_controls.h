#pragma once

#include <functional>
#include <string>

#include "cli_options.h"
#include "frames.h"
#include "window_controls.h"

namespace vq::cli {

// The window's controls as the command line's options set them.
class CliControls : public WindowControls {
  public:
    CliControls(const CliOptions& options, int com) : m_options(options), m_com(com) {}

    int GetCOM() const override { return m_com; }
    bool optBPS(int index) const override { return index == m_options.baudOption; }
    bool portAction(int index) const override { return index == m_options.portAction; }
    // The pin of the line test, or the full-range word when asked for.
    std::string txtPinNumber() const override {
        if (m_options.command == Command::PinTest) return m_options.pin.toStdString();
        return m_options.fullRange ? std::string(kFullRangeWord) : std::string();
    }
    // Progress goes through the programmer's observer instead.
    void setText1(const std::string&) override {}
    void setBarValue(int) override {}

  private:
    const CliOptions& m_options;
    int m_com;
};

}  // namespace vq::cli
