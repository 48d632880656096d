#include "core/message.h"

#include <QMessageBox>

namespace velmora {

namespace {

constexpr qsizetype kLongestShownMessage = 8192;
constexpr qsizetype kShownEachEnd = 2000;

} // namespace

QString MessageForDisplay(const QString& text) {
    if (text.size() <= kLongestShownMessage) return text;
    return text.left(kShownEachEnd) + QStringLiteral(" … ") + text.right(kShownEachEnd);
}

void ShowMessage(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, MessageForDisplay(text), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("VelmoraMessage"));
    box.exec();
}

} // namespace velmora
