#pragma once
// The process-wide state every part of the program reads and writes, and the
// two power-supply models.

#include "unit/model.h"

#include <QString>

namespace velmora {

/// The one shared state of the program; lives for the whole run. There is one
/// thread, so nothing here is locked.
struct SharedState {
    qint16 VoltageLimit;     // mV
    qint16 CurrentLimit;     // mA; 1000 or 2500 name a model
    qint16 PortNumber;       // 1..4 for COM1..COM4
    QString RecordFileName;  // as typed, relative to the program's folder
    QString ControlFileName; // as typed, relative to the program's folder
    qint16 VoltageSetpoint;  // mV
    qint16 CurrentSetpoint;  // mA
    QString LastMeasurement; // the last valid frame's voltage and current text
    bool ButtonHeld;         // true while an adjust button is held
    qint64 WaitDeadline;     // monotonic nanoseconds; one for all nested waits
    qint16 TransmitIndex;    // position being sent, 1..8; 9 after a command
    bool PlaybackStop;       // asks a running playback to end

    /// Every item as at program start: the defaults.
    SharedState();
};

extern SharedState Shared;

/// Puts every item back to its value at program start (used by tests).
void ResetSharedState();

/// The model in force, told by the current limit alone.
Model CurrentModel();

} // namespace velmora
