#pragma once
// The player: sends the set-points of a control file to the unit, each at the
// date and time its line carries.

#include <QString>

class QAbstractButton;

namespace velmora {

/// The player button of the settings window. "Start" runs the whole playback
/// of the file named `fileName` (as typed) before it returns; "Stop" asks a
/// running playback to end. The button may be destroyed during the run.
/// A Start while an earlier run is still winding down is refused.
void PlayerButton_Click(QAbstractButton* button, const QString& fileName);

/// Whether a playback run is in progress (stopped runs included, until they
/// have ended).
bool PlaybackRunning();

} // namespace velmora
