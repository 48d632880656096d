#pragma once
// The modal message box the windows show the program's errors in.

#include <QString>

namespace velmora {

/// A modal box with `text`, the title `title`, an OK button only and no icon;
/// returns when the user has closed it.
void ShowMessageBox(const QString& text, const QString& title);

/// Makes every ShowMessage of the program a ShowMessageBox.
void InstallMessageBoxes();

} // namespace velmora
