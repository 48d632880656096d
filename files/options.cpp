#include "files/options.h"

#include <QRegularExpression>

namespace velmora::files {

namespace {

// "1200x400", each side 16 to 20000 pixels.
std::optional<QSize> ParseSize(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const auto m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QSize size(m.captured(1).toInt(), m.captured(2).toInt());
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
        return std::nullopt;
    return size;
}

} // namespace

std::optional<Options> ParseOptions(const QStringList& args, bool allowSize, QString& error) {
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool takesValue = arg == u"-o" || (allowSize && arg == u"--size");
        if (takesValue && i + 1 >= args.size()) {
            error = QStringLiteral("%1 needs a value").arg(arg);
            return std::nullopt;
        }
        if (arg == u"-o") {
            options.output = args[++i];
        } else if (allowSize && arg == u"--size") {
            const auto size = ParseSize(args[++i]);
            if (!size) {
                error =
                    QStringLiteral("--size wants WIDTHxHEIGHT, 16 to 20000 each: %1").arg(args[i]);
                return std::nullopt;
            }
            options.size = *size;
        } else if (arg.startsWith(u'-') && arg != u"-") {
            error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        } else if (options.input.isEmpty()) {
            options.input = arg;
        } else {
            error = QStringLiteral("one record file only: %1").arg(arg);
            return std::nullopt;
        }
    }
    if (options.input.isEmpty()) {
        error = QStringLiteral("no record file given");
        return std::nullopt;
    }
    return options;
}

} // namespace velmora::files
