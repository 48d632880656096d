#pragma once
// velmora-files check RUN.run: a run file's check, as a run goes through it
// before it starts, with its worst-case duration.

#include "files/options.h"

#include <QTextStream>

namespace velmora {

/// Whether `path` names a run file (it ends in ".run", any case).
bool IsRunFile(const QString& path);

/// One line per problem with its line and column, the verdict and the
/// worst-case duration, on the model (--model, else the settings') with the
/// user's limits and [Runs] settings. Exit 0 when the run passes, 1 with
/// problems, 2 when the file cannot be read or the arguments are wrong.
int RunCheckRunFile(const Options& options, QTextStream& out, QTextStream& err);

} // namespace velmora
