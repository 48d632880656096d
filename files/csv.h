#pragma once
// velmora-files csv: a record file as CSV, one row a readable line.

#include <QStringList>
#include <QTextStream>

namespace velmora {

/// csv FILE [-o OUT]. Exit 0 when the file was read (lines left out are
/// counted on `err`), 2 when it cannot be read or written or the arguments
/// are wrong.
int RunCsv(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace velmora
