#pragma once
// A run file read once into memory, with a bound, and its SHA-256: what
// runs is what was read, whatever happens to the file afterwards.

#include "runs/run_check.h"

#include <QByteArray>
#include <QString>

namespace velmora {

struct RunFileText {
    QByteArray bytes;  // at most kMaxRunFileBytes + 1: one more tells a file too large
    QByteArray sha256; // of the bytes, in hex; the whole file's when it is within the bound
    QString error;     // "charge.run: no such file"; set when it cannot be read at all
};

/// Reads a plain file (a pipe or a device is refused: it could block).
RunFileText ReadRunFile(const QString& path);

/// A run file read and checked.
struct CheckedRunFile {
    RunFileText file;
    RunVerdict verdict;
};
CheckedRunFile CheckRunFile(const QString& path, const RunCheckOptions& options);

} // namespace velmora
