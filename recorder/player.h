#pragma once
// The player: sends the set-points of a control file to the unit, each at the
// date and time its line carries.

#include <QString>

namespace velmora {

enum class PlaybackOutcome {
    Finished, // the file was played to its end, or until asked to stop
    Refused,  // the file could not be opened; nothing was sent
    Busy,     // a run asked to stop has not ended yet; nothing was started
};

/// What a call of PlayControlFile came to.
struct PlaybackEnd {
    PlaybackOutcome outcome;
    QString refusal; // when Refused: the message for the user
};

/// Plays the control file named `fileName` (as typed): returns when the run
/// has ended. Events are handled meanwhile, so anything may happen in the
/// run, StopPlayback included.
PlaybackEnd PlayControlFile(const QString& fileName);

/// Asks the run in progress to end: it sends nothing more and ends at its
/// next check. Harmless when no run is in progress.
void StopPlayback();

/// Whether a playback run is in progress (stopped runs included, until they
/// have ended).
bool PlaybackRunning();

} // namespace velmora
