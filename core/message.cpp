#include "core/message.h"

#include <utility>

namespace velmora {

namespace {

constexpr qsizetype kLongestShownMessage = 8192;
constexpr qsizetype kShownEachEnd = 2000;

MessageShower& InstalledShower() {
    static MessageShower shower;
    return shower;
}

} // namespace

MessageShower SetMessageShower(MessageShower shower) {
    return std::exchange(InstalledShower(), std::move(shower));
}

QString MessageForDisplay(const QString& text) {
    if (text.size() <= kLongestShownMessage) return text;
    return text.left(kShownEachEnd) + QStringLiteral(" … ") + text.right(kShownEachEnd);
}

void ShowMessage(const QString& text, const QString& title) {
    // A copy: the shower may install another while its box is open.
    if (const MessageShower shower = InstalledShower()) shower(MessageForDisplay(text), title);
}

} // namespace velmora
