#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "message_box.h"
#include "window_controls.h"

namespace vq::test {

// The window's controls as plain values, with a record of the progress shown.
class FakeWindow : public WindowControls {
  public:
    int com = 1;
    int baudOption = 2;
    int portOption = 3;
    std::string pinNumber;
    std::vector<std::string> text1History;
    std::vector<int> barHistory;

    int GetCOM() const override { return com; }
    bool optBPS(int index) const override { return index == baudOption; }
    bool portAction(int index) const override { return index == portOption; }
    std::string txtPinNumber() const override { return pinNumber; }
    void setText1(const std::string& text) override { text1History.push_back(text); }
    void setBarValue(int value) override { barHistory.push_back(value); }
};

// Records every box shown.
class RecordingMessageBox : public MessageBox {
  public:
    struct Shown {
        std::string prompt;
        int style;
        std::string title;
        bool operator==(const Shown&) const = default;
    };
    std::vector<Shown> shown;
    void show(const std::string& prompt, int style, const std::string& title) override {
        shown.push_back({prompt, style, title});
    }
};

}  // namespace vq::test
