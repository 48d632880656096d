#include "core/command_line.h"

namespace velmora {

namespace {

const char* const kUsage =
    "Usage: velmora [--help | --version]\n"
    "The control panel for a bench power supply on a serial port: read-outs,\n"
    "set-point buttons, recording and playback. Click the panel outside the\n"
    "buttons for the settings window: port, model, record and control file.\n"
    "\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Qt's own options (-platform, -display, -style, ...) are taken as well.\n"
    "velmora-sim plays a unit on a pseudo-terminal, for trying without one.\n";

// The options QGuiApplication and QApplication take out of the command line
// themselves, with one dash or two; each name between blanks.
constexpr QLatin1StringView kQtOptionsWithValue{
    " platform platformpluginpath platformtheme plugin qwindowgeometry geometry qwindowicon icon"
    " qwindowtitle title display session name style stylesheet qmljsdebugger "};
constexpr QLatin1StringView kQtFlags{" reverse widgetcount nograb dograb sync "};

bool Listed(const QString& name, QLatin1StringView names) {
    return !name.isEmpty() && !name.contains(' ') && names.contains(u' ' + name + u' ');
}

CommandLine Fail(const QString& message) {
    return {CommandLine::Error, QStringLiteral("velmora: %1 (see --help)").arg(message)};
}

} // namespace

QString ProgramVersion() {
    return QStringLiteral(VELMORA_VERSION);
}

CommandLine ReadCommandLine(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--help" || argument == "-h")
            return {CommandLine::Help, QString::fromLatin1(kUsage)};
        if (argument == "--version")
            return {CommandLine::Version, QStringLiteral("velmora %1\n").arg(ProgramVersion())};
        if (!argument.startsWith('-') || argument == "-" || argument == "--")
            return Fail(QStringLiteral("unexpected argument '%1'").arg(argument));
        QString name = argument.mid(argument.startsWith("--") ? 2 : 1);
        const bool valueAttached = name.contains('=');
        name = name.section('=', 0, 0);
        const bool takesValue = Listed(name, kQtOptionsWithValue);
        if (!takesValue && !Listed(name, kQtFlags))
            return Fail(QStringLiteral("unknown option '%1'").arg(argument));
        if (takesValue && !valueAttached && ++i == arguments.size())
            return Fail(QStringLiteral("option '%1' needs a value").arg(argument));
    }
    return {};
}

} // namespace velmora
