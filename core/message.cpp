#include "core/message.h"

#include <utility>

namespace velmora {

namespace {

MessageShower& InstalledShower() {
    static MessageShower shower;
    return shower;
}

} // namespace

MessageShower SetMessageShower(MessageShower shower) {
    return std::exchange(InstalledShower(), std::move(shower));
}

void ShowMessage(const QString& text, const QString& title) {
    // A copy: the shower may install another while its box is open.
    if (const MessageShower shower = InstalledShower()) shower(text, title);
}

} // namespace velmora
