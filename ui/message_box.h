#pragma once
// The message boxes the windows show the program's messages in.

#include "core/constants.h"

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace velmora {

/// A box with `text` (cut as MessageForDisplay cuts it), the title `title`
/// (the program's own by default), an OK button only and no icon. It
/// returns at once: nothing the program does waits for the user to close it.
QMessageBox* ShowMessageBox(const QString& text, const QString& title = QString(kProgramTitle),
                            QWidget* parent = nullptr);

/// The same box with a second button, `action` ("Clear"), beside OK: it
/// calls `act` and closes the box.
QMessageBox* ShowMessageBoxWithAction(const QString& text, const QString& title,
                                      const QString& action, std::function<void()> act,
                                      QWidget* parent = nullptr);

} // namespace velmora
