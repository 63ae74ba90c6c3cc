#include "qt_message_box.h"

#include <QMessageBox>

namespace vq {

void QtMessageBox::show(const std::string& prompt, int style, const std::string& title) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == kStyleExclamation) icon = QMessageBox::Warning;
    if (style == kStyleCritical) icon = QMessageBox::Critical;
    QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(prompt),
                    QMessageBox::Ok, m_parent);
    box.exec();
}

}  // namespace vq
