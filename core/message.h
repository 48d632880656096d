#pragma once
// How a message for the user is cut for showing.

#include <QString>

namespace velmora {

/// The text as a message box shows it: whole up to 8192 characters (twice
/// the longest path the system takes), else its first and last 2000
/// characters around " … ", since laying out a million characters would
/// freeze the window for seconds.
QString MessageForDisplay(const QString& text);

} // namespace velmora
