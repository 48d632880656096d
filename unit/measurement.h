#pragma once
// The measurement frame the unit sends unasked: 12 characters beginning with
// "D", the voltage at positions 3-5 and the current at positions 8-10; and
// what one frame says, read once.

#include "unit/quantities.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <optional>

namespace velmora {

inline constexpr qsizetype kFrameLength = 12;

/// One frame as it arrived: the read-out texts exactly as shown ("12,3V",
/// "1,23A"), its values when the value places hold digits, and when it came.
struct Measurement {
    QString voltageText;
    QString currentText;
    std::optional<Values> values;
    qint64 atNs = 0; // monotonic clock
    qint64 atMs = 0; // the wall clock, ms since 1970 (UTC)

    /// When it came, as a local date and time.
    QDateTime at() const { return QDateTime::fromMSecsSinceEpoch(atMs); }

    /// Both texts together, "12,3V1,23A": what tells one measurement from the next.
    QString text() const { return voltageText + currentText; }
};

/// The measurement in a block read from the line, when the block is exactly
/// one frame; nothing otherwise. The characters are taken as they stand.
std::optional<Measurement> ParseFrame(QByteArrayView block, qint64 atNs = 0, qint64 atMs = 0);

/// The numbers the digits at the value places of a voltage text ("12,3V" or
/// "12.3V": places 1, 2, 4) and a current text ("1,23A": places 1, 3, 4)
/// make, in 0.1 V and 0.01 A. Nothing when a place is missing or not a digit.
std::optional<int> VoltageAtPlaces(QByteArrayView voltageText);
std::optional<int> CurrentAtPlaces(QByteArrayView currentText);
std::optional<Values> ValuesOfTexts(QByteArrayView voltageText, QByteArrayView currentText);

} // namespace velmora
