#pragma once
// The font of the two windows' captions and labels.

#include <QFont>
#include <QStringList>

namespace velmora {

/// "MS Sans Serif" at 8.25 points. Where it is missing, a font of Arial's
/// narrow metrics keeps every caption inside its fixed place; the platform's
/// own first fallback is far wider.
QFont WindowFont();

} // namespace velmora
