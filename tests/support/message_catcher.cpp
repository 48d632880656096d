#include "message_catcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace velmora::test {

MessageCatcher::MessageCatcher() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &MessageCatcher::poll);
    timer_.start();
}

const QList<MessageCatcher::Message>& MessageCatcher::messages() const {
    poll(); // boxes shown since the last look count too
    return messages_;
}

void MessageCatcher::poll() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        messages_.append({box->windowTitle(), box->text()});
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
    }
}

} // namespace velmora::test
