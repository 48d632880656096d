#pragma once
// The measurement frame the unit sends unasked: 12 characters beginning with
// "D", the voltage at positions 3-5 and the current at positions 8-10.

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

/// The two read-out texts of one frame, as shown: "12,3V" and "1,23A".
struct Measurement {
    QString voltageText;
    QString currentText;
    /// Both texts together, "12,3V1,23A": what tells one measurement from the next.
    QString text() const { return voltageText + currentText; }
};

/// The measurement in a block read from the line, when the block is exactly
/// one frame; nothing otherwise. The characters are taken as they stand.
std::optional<Measurement> ParseFrame(const QByteArray& block);

} // namespace velmora
