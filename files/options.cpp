#include "files/options.h"

#include "recording/wall_time.h"

#include <QFileInfo>

namespace velmora {

Options ParseOptions(const QStringList& args, const QStringList& withValue) {
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (withValue.contains(arg)) {
            if (i + 1 >= args.size()) {
                options.error = arg + QStringLiteral(" needs a value");
                return options;
            }
            options.values.insert(arg, args[++i]);
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            options.error = QStringLiteral("unknown option ") + arg;
            return options;
        } else {
            options.files.append(arg);
        }
    }
    return options;
}

std::optional<qint64> StartMoment(const Options& options, LocalClock& clock, QString& error) {
    const bool start = options.values.contains(QStringLiteral("--start"));
    const bool in = options.values.contains(QStringLiteral("--in"));
    if (start == in) {
        error = QStringLiteral("give either --start \"YYYY-MM-DD HH:MM:SS\" or --in SECONDS");
        return std::nullopt;
    }
    if (start) {
        const auto wall = ParseMoment(options.values.value(QStringLiteral("--start")));
        if (!wall) {
            error = QStringLiteral("--start needs a moment as \"YYYY-MM-DD HH:MM:SS\"");
            return std::nullopt;
        }
        const LocalMoment moment = clock.momentOf(*wall);
        if (moment.reading == Reading::Skipped) {
            error = QStringLiteral("--start ") + ShowMoment(*wall) +
                    QStringLiteral(" is a time the local clock skips (a change to summer time)");
            return std::nullopt;
        }
        return moment.first;
    }
    bool ok = false;
    const qint64 seconds = options.values.value(QStringLiteral("--in")).toLongLong(&ok);
    if (!ok || seconds < 0 || seconds > 100LL * 365 * 86400) {
        error = QStringLiteral("--in needs a whole number of seconds from now");
        return std::nullopt;
    }
    return QDateTime::currentDateTime().toSecsSinceEpoch() + seconds;
}

InputFile OpenInput(const QString& path, LongLines longLines) {
    InputFile input;
    const QFileInfo info(path);
    if (!info.exists()) {
        input.error = QStringLiteral("cannot read ") + path + QStringLiteral(": no such file");
        return input;
    }
    // A pipe or a device could keep the program waiting for good.
    if (!info.isFile()) {
        input.error = QStringLiteral("cannot read ") + path + QStringLiteral(": not a file");
        return input;
    }
    input.file = std::make_unique<QFile>(path);
    if (!input.file->open(QIODevice::ReadOnly)) {
        input.error = QStringLiteral("cannot read ") + path + QStringLiteral(": ") +
                      input.file->errorString();
        input.file.reset();
        return input;
    }
    input.lines = std::make_unique<LineReader>(input.file.get(), longLines);
    return input;
}

} // namespace velmora
