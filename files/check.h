#pragma once
// velmora-files check: what the player would do with each record of a
// control file, on a model and at a moment, before the file is played.

#include "unit/model.h"

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace velmora {

/// check CTL [--model M] [--now "YYYY-MM-DD HH:MM:SS"]. Exit 0 when every
/// record would be sent, 1 when some would be skipped, 2 when the file cannot
/// be read or the arguments are wrong.
int RunCheck(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace velmora
