#include "message_catcher.h"

#include "panel/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace velmora::test {

MessageCatcher::MessageCatcher() {
    previous_ =
        SetMessageShower([this](const QString& text, const QString& title) { show(text, title); });
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &MessageCatcher::poll);
    timer_.start();
}

MessageCatcher::~MessageCatcher() {
    SetMessageShower(std::move(previous_));
}

void MessageCatcher::show(const QString& text, const QString& title) {
    messages_.append({title, text});
    ShowMessageBox(text, title);
}

void MessageCatcher::poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
    }
}

} // namespace velmora::test
