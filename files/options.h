#pragma once
// The command line of a subcommand: names of files, and options with values.

#include "recording/line_reader.h"
#include "recording/local_clock.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>

namespace velmora {

/// What a subcommand was given; `error` says what was wrong, if anything.
struct Options {
    QStringList files;
    QHash<QString, QString> values;
    QString error;
};

/// Options are the names in `withValue` ("--model", "-o"), each followed by
/// its value; any other argument starting with "-" is an error.
Options ParseOptions(const QStringList& args, const QStringList& withValue);

/// The moment that --start names (the first time the local clock shows it),
/// or now plus --in seconds; exactly one of the two must be given. Seconds
/// since 1970; `error` is set otherwise, and for a moment the clock skips.
std::optional<qint64> StartMoment(const Options& options, LocalClock& clock, QString& error);

/// A file opened for reading line by line, or the one-line reason it cannot be.
struct InputFile {
    std::unique_ptr<QFile> file;
    std::unique_ptr<LineReader> lines;
    QString error;
};
InputFile OpenInput(const QString& path, LongLines longLines = LongLines::Emptied);

} // namespace velmora
