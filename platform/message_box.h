#pragma once

#include <string>

namespace vq {

// A modal message box with an OK button. The style selects the icon.
class MessageBox {
  public:
    static constexpr int kStyleNone = 0;
    static constexpr int kStyleCritical = 16;
    static constexpr int kStyleExclamation = 48;

    virtual ~MessageBox() = default;
    virtual void show(const std::string& prompt, int style, const std::string& title) = 0;
};

}  // namespace vq
