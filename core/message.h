#pragma once
// The program's error messages, shown through whatever the program installed:
// the windows show a modal box; tests install their own catcher.

#include "core/constants.h"

#include <QString>
#include <functional>

namespace velmora {

/// Shows `text` titled `title` and returns when the user has closed it.
using MessageShower = std::function<void(const QString& text, const QString& title)>;

/// Installs the shower every later ShowMessage uses and returns the one it
/// replaces. Without one installed a message goes nowhere.
MessageShower SetMessageShower(MessageShower shower);

/// Shows `text`, cut as MessageForDisplay cuts it, with an OK button only;
/// returns when the user has closed it. Without a title of its own the
/// message carries the program's title.
void ShowMessage(const QString& text, const QString& title = QString(kProgramTitle));

/// The text as a message box shows it: whole up to 8192 characters (twice
/// the longest path the system takes), else its first and last 2000
/// characters around " … ", since laying out a million characters would
/// freeze the window for seconds.
QString MessageForDisplay(const QString& text);

} // namespace velmora
