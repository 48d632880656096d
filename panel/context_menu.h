#pragma once
// The main window's context menu, opened by a right click on the panel off
// the eight buttons.

class QMenu;

namespace velmora {

class Form1;

/// Adds the panel's entries to `menu`, in this order: "Settings…" (as a left
/// click on the panel), "Plot…", "Set values…", "Zero output", with remote
/// control in the program "Remote control…", "Protection…" and "Runs…".
void FillPanelContextMenu(QMenu& menu, Form1& form);

} // namespace velmora
