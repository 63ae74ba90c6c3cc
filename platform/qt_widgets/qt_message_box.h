#pragma once

#include <QWidget>

#include "message_box.h"

namespace vq {

// A modal QMessageBox: no icon for style 0, the warning icon for 48, critical for 16.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void show(const std::string& prompt, int style, const std::string& title) override;

private:
    QWidget* m_parent;
};

}  // namespace vq
