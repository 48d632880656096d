#pragma once
// The meters over a velmora-sim --frames-log file, integrated the way the
// program integrates what arrives: for checking the program's meters against
// what the unit really sent.

#include "meters/meters.h"

#include <QByteArray>
#include <string>

namespace velmora::test {

/// Milliseconds of the monotonic clock, as the simulator stamps its frames log.
qint64 MonotonicMs();

/// The lines of a frames log stamped from `fromMs` to `toMs`.
std::string FramesBetween(const QByteArray& log, qint64 fromMs, qint64 toMs);

/// Feeds every frame line ("<ms> D 123  045  ") to fresh meters, at its
/// millisecond stamp; other lines and frames without digits are left out.
Meters MetersOfFramesLog(const std::string& log);

} // namespace velmora::test
