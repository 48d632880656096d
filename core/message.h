#pragma once
// Modal message boxes with an OK button only, as the program shows its errors.

#include "core/constants.h"

#include <QString>

namespace velmora {

/// Shows `text` in a modal box with an OK button and no icon; returns when the
/// user has closed it. Without a title of its own the box carries the
/// program's title.
void ShowMessage(const QString& text, const QString& title = QString(kProgramTitle));

/// The text as a message box shows it: whole up to 8192 characters (twice
/// the longest path the system takes), else its first and last 2000
/// characters around " … ", since laying out a million characters would
/// freeze the window for seconds.
QString MessageForDisplay(const QString& text);

} // namespace velmora
