#pragma once
// The arguments the subcommands share: one input file, -o OUT, --size WxH.

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace velmora::files {

struct Options {
    QString input;
    QString output; // empty: not given
    QSize size{1200, 400};
};

/// The options in `args`; a one-line message in `error` when they are not
/// understood. `allowSize` permits --size.
std::optional<Options> ParseOptions(const QStringList& args, bool allowSize, QString& error);

} // namespace velmora::files
