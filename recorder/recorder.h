#pragma once
// The recorder: one time-stamped line per changed measurement.

#include <QString>

class QAbstractButton;

namespace velmora {

/// Writes one record while recording is on; otherwise does nothing. Never
/// reports an error.
void WriteRecord(const QString& voltageText, const QString& currentText);

/// The recorder button of the settings window: starts recording into the
/// file named `fileName` (as typed) or stops it; the caption tells which.
void RecorderButton_Click(QAbstractButton* button, const QString& fileName);

} // namespace velmora
