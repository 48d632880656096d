#include "ui/message_box.h"

#include "core/message.h"

#include <QMessageBox>
#include <QPushButton>

namespace velmora {

QMessageBox* ShowMessageBox(const QString& text, const QString& title, QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, MessageForDisplay(text),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

QMessageBox* ShowMessageBoxWithAction(const QString& text, const QString& title,
                                      const QString& action, std::function<void()> act,
                                      QWidget* parent) {
    QMessageBox* box = ShowMessageBox(text, title, parent);
    QPushButton* button = box->addButton(action, QMessageBox::ActionRole);
    QObject::connect(button, &QPushButton::clicked, box, std::move(act));
    return box;
}

} // namespace velmora
