#pragma once
// A history written as CSV, one row a measurement, under the header.

#include <QString>

class QIODevice;

namespace velmora {

class History;

/// Header and rows to `out`; false when a write failed.
bool WriteHistoryCsv(const History& history, QIODevice& out);
/// The same into a new file at `path` (an existing one is replaced whole).
bool WriteHistoryCsv(const History& history, const QString& path);

} // namespace velmora
