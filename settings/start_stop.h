#pragma once
// The recorder and player buttons of the settings window: "Start" starts,
// "Stop" stops; the captions follow the session's recorder and player.

#include <QString>

class QAbstractButton;

namespace velmora {

class Session;

/// A click of the recorder button: starts recording into the file named
/// `fileName` (as typed) or stops it; the caption tells which. A file that
/// cannot be opened is named in a message.
void RecorderButton_Click(Session& session, QAbstractButton* button, const QString& fileName);

/// A click of the player button: "Start" starts a run through the file named
/// `fileName` (as typed), "Stop" asks the run to end. A Start while an
/// earlier run is still finishing its command is refused.
void PlayerButton_Click(Session& session, QAbstractButton* button, const QString& fileName);

} // namespace velmora
