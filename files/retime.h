#pragma once
// velmora-files retime: a record or control file with its time stamps moved
// so that its first record is due at a given moment, spacing kept.

#include <QByteArray>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace velmora {

/// The line with its time stamp replaced by the one for `moment` (wall-clock
/// seconds), everything else byte for byte as it was; nothing when the line
/// is not a record or the new line would not read back as the same record
/// at that moment.
std::optional<QByteArray> RetimeLine(const QByteArray& line, qint64 moment);

/// retime REC --start "YYYY-MM-DD HH:MM:SS" | --in SECONDS [-o OUT]: the
/// records keep the time that passes between them, across changes of the
/// clock too. Exit 0
/// when written, 1 when the file holds no record, 2 when it cannot be read or
/// written or the arguments are wrong.
int RunRetime(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace velmora
