#pragma once
// The recorder: one time-stamped line per changed measurement.

#include <QString>

namespace velmora {

/// Writes one record while recording is on; otherwise does nothing. Never
/// reports an error.
void WriteRecord(const QString& voltageText, const QString& currentText);

} // namespace velmora
