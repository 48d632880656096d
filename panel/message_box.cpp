#include "panel/message_box.h"

#include "core/message.h"

#include <QMessageBox>

namespace velmora {

void ShowMessageBox(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

void InstallMessageBoxes() {
    SetMessageShower(ShowMessageBox);
}

} // namespace velmora
