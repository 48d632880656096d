#include "core/command_line.h"

namespace velmora {

namespace {

const char* const kUsage =
    "Usage: velmora [--headless [--run FILE [--unit N]]] [--remote [ADDRESS:]PORT]\n"
    "               [--mqtt HOST[:PORT]] [--metrics [ADDRESS:]PORT] | --help | --version\n"
    "The control panel for a bench power supply on a serial port: read-outs,\n"
    "set-point buttons, recording and playback. Click the panel outside the\n"
    "buttons for the settings window: port, model, record and control file.\n"
    "\n"
    "  --headless                 run without a window or a display: the port,\n"
    "                             recording, playback and remote control, with\n"
    "                             one line per event on standard error\n"
    "  --unit N                   the unit --run runs on (1 by default)\n"
    "  --run FILE                 with --headless: run the run file FILE, print a\n"
    "                             line as each step starts and ends, and end;\n"
    "                             status 0 done, 3 ended early, 2 refused by the check\n"
    "  --remote [ADDRESS:]PORT    remote control (SCPI over TCP) on for this run,\n"
    "                             on ADDRESS (default 127.0.0.1) and PORT\n"
    "  --mqtt HOST[:PORT]         publish to the MQTT broker at HOST for this run\n"
    "                             (PORT 1883 by default, 8883 with TLS)\n"
    "  --metrics [ADDRESS:]PORT   serve the Prometheus page at /metrics for this\n"
    "                             run, on ADDRESS (default 127.0.0.1) and PORT\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
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

// An option with a value, as "--name VALUE" or "--name=VALUE": whether
// `arguments[i]` is it; `i` moves past its value, and `value` is empty when
// there is none.
bool ValueOf(const QStringList& arguments, qsizetype& i, const QString& name, QString& value) {
    const QString& argument = arguments[i];
    if (argument == name) {
        value = ++i < arguments.size() ? arguments[i] : QString();
        return true;
    }
    if (!argument.startsWith(name + u'=')) return false;
    value = argument.mid(name.size() + 1);
    return true;
}

CommandLine Fail(const QString& message) {
    CommandLine line;
    line.action = CommandLine::Error;
    line.text = QStringLiteral("velmora: %1 (see --help)").arg(message);
    return line;
}

} // namespace

QString ProgramVersion() {
    return QStringLiteral(VELMORA_VERSION);
}

CommandLine ReadCommandLine(const QStringList& arguments) {
    CommandLine line;
    QString unit;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            line.action = CommandLine::Help;
            line.text = QString::fromLatin1(kUsage);
            return line;
        }
        if (argument == "--version") {
            line.action = CommandLine::Version;
            line.text = QStringLiteral("velmora %1\n").arg(ProgramVersion());
            return line;
        }
        if (argument == "--headless") {
            line.headless = true;
            continue;
        }
        if (argument == "--remote" || argument.startsWith("--remote=")) {
            if (argument == "--remote" && ++i == arguments.size())
                return Fail(QStringLiteral("option '--remote' needs [ADDRESS:]PORT"));
            line.remote = argument == "--remote" ? arguments[i] : argument.mid(9);
            if (line.remote.isEmpty())
                return Fail(QStringLiteral("option '--remote' needs [ADDRESS:]PORT"));
            continue;
        }
        if (ValueOf(arguments, i, QStringLiteral("--mqtt"), line.mqtt)) {
            if (line.mqtt.isEmpty())
                return Fail(QStringLiteral("option '--mqtt' needs HOST[:PORT]"));
            continue;
        }
        if (ValueOf(arguments, i, QStringLiteral("--unit"), unit)) {
            bool ok = false;
            line.unit = unit.toInt(&ok);
            if (!ok || line.unit < 1 || line.unit > 8 || unit.startsWith(u'+'))
                return Fail(QStringLiteral("option '--unit' needs a unit's number, 1 to 8"));
            continue;
        }
        if (ValueOf(arguments, i, QStringLiteral("--run"), line.run)) {
            if (line.run.isEmpty()) return Fail(QStringLiteral("option '--run' needs a run file"));
            continue;
        }
        if (ValueOf(arguments, i, QStringLiteral("--metrics"), line.metrics)) {
            if (line.metrics.isEmpty())
                return Fail(QStringLiteral("option '--metrics' needs [ADDRESS:]PORT"));
            continue;
        }
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
    if (!unit.isEmpty() && line.run.isEmpty())
        return Fail(QStringLiteral("option '--unit' names the unit --run runs on; without --run it "
                                   "means nothing"));
    if (!line.run.isEmpty() && !line.headless)
        return Fail(QStringLiteral("option '--run' runs with --headless only; the panel has "
                                   "\"Runs...\" in its menu"));
    return line;
}

} // namespace velmora
