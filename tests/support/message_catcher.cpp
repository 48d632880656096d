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

void MessageCatcher::poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        messages_.append({box->windowTitle(), box->text()});
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
    }
}

} // namespace velmora::test
