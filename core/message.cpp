#include "core/message.h"

#include <QMessageBox>

namespace velmora {

void ShowMessage(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("VelmoraMessage"));
    box.exec();
}

} // namespace velmora
