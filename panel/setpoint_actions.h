#pragma once
// The main window's actions on the set-points: "Set values…" and
// "Zero output", and sending typed set-points.

#include <QtGlobal>

class QMenu;

namespace velmora {

class Form1;

/// Appends "Set values…" and "Zero output" (Ctrl+0) to the panel's menu.
void AddSetpointActions(QMenu& menu, Form1& form);

/// Makes the set-points those given and sends them as one set-point command
/// for the model in force. With no model defined: the message and nothing
/// sent, the set-points unchanged.
void SendTypedSetpoints(qint16 voltageMv, qint16 currentMa);

} // namespace velmora
