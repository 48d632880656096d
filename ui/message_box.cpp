#include "ui/message_box.h"

#include "core/message.h"

#include <QMessageBox>

namespace velmora {

QMessageBox* ShowMessageBox(const QString& text, const QString& title, QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, MessageForDisplay(text),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace velmora
