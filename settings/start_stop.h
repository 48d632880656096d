#pragma once
// The recorder and player buttons of the settings window: their caption,
// "Start" or "Stop", is the recorder's and the player's state.

#include <QString>

class QAbstractButton;

namespace velmora {

/// A click of the recorder button: starts recording into the file named
/// `fileName` (as typed) or stops it; the caption tells which.
void RecorderButton_Click(QAbstractButton* button, const QString& fileName);

/// A click of the player button. "Start" runs the whole playback of the file
/// named `fileName` (as typed) before it returns; "Stop" asks a running
/// playback to end. The button may be destroyed during the run. A Start
/// while an earlier run is still winding down is refused.
void PlayerButton_Click(QAbstractButton* button, const QString& fileName);

/// Ends a playback in progress as the player button's Stop does, from
/// outside the settings window: the run sends nothing more once the command
/// on the line is out, and the player button of an open settings window
/// reads "Start" again. Nothing when no run is in progress.
void EndPlayback();

} // namespace velmora
