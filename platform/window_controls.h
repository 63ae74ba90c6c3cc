#pragma once

#include <string>

namespace vq {

// The controls of the main window that the operations on the radio read or write while
// they run. The window implements it; the command line and the tests have their own.
class WindowControls {
  public:
    virtual ~WindowControls() = default;

    // The index (1..16) of the checked COM menu item.
    virtual int GetCOM() const = 0;
    // Whether speed option optBPS(index), index 0..2, is selected.
    virtual bool optBPS(int index) const = 0;
    // Whether line test action port(index), index 0..3, is selected.
    virtual bool portAction(int index) const = 0;
    // The text of txtPinNumber: the pin of the line test and the full-range word.
    virtual std::string txtPinNumber() const = 0;

    // Progress of the writes: the status text Text1 and the progress bar's value.
    virtual void setText1(const std::string& text) = 0;
    virtual void setBarValue(int value) = 0;
};

}  // namespace vq
