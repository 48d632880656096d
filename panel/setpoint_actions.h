#pragma once
// The main window's actions on the set-points: "Set values…" and "Zero output".

class QMenu;

namespace velmora {

class Form1;

/// Appends "Set values…" and "Zero output" (Ctrl+0) to the panel's menu.
void AddSetpointActions(QMenu& menu, Form1& form);

} // namespace velmora
