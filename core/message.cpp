#include "core/message.h"

namespace velmora {

namespace {

constexpr qsizetype kLongestShownMessage = 8192;
constexpr qsizetype kShownEachEnd = 2000;

} // namespace

QString MessageForDisplay(const QString& text) {
    if (text.size() <= kLongestShownMessage) return text;
    return text.left(kShownEachEnd) + QStringLiteral(" … ") + text.right(kShownEachEnd);
}

} // namespace velmora
