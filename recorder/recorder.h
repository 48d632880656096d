#pragma once
// The recorder: one time-stamped line per changed measurement.

#include <QString>

namespace velmora {

/// Writes one record while recording is on; otherwise does nothing. Never
/// reports an error.
void WriteRecord(const QString& voltageText, const QString& currentText);

/// What asking the recorder to start came to.
struct RecordingStart {
    bool recording = false; // records now go to the file (or the one open already)
    QString refusal;        // when not recording: the message for the user
};

/// Starts recording into the file named `fileName` (as typed), emptying it.
/// With recording on already, records go on into the file that is open.
RecordingStart StartRecording(const QString& fileName);

/// Ends recording; the file keeps what was written. Harmless when off.
void StopRecording();

} // namespace velmora
