// velmora-files: the command line for record and control files.

#include "files/check.h"
#include "files/plan.h"
#include "files/retime.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {

constexpr const char* kUsage =
    "usage: velmora-files COMMAND ...\n"
    "  check CTL [--model 1A/20V|2,5A/25V] [--now \"YYYY-MM-DD HH:MM:SS\"]\n"
    "      what the player would do with each record of a control file\n"
    "  retime REC --start \"YYYY-MM-DD HH:MM:SS\" | --in SECONDS [-o OUT]\n"
    "      the file with its first record due then, the spacing kept\n"
    "  plan LIST --start \"YYYY-MM-DD HH:MM:SS\" | --in SECONDS [--repeat N] [-o OUT]\n"
    "      a control file from a list of steps: volts amperes seconds (5.0 0.40 10)\n";

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h") ||
        args.contains(QStringLiteral("--help"))) {
        out << kUsage;
        return 0;
    }
    if (command == QStringLiteral("check")) return velmora::RunCheck(args, out, err);
    if (command == QStringLiteral("retime")) return velmora::RunRetime(args, out, err);
    if (command == QStringLiteral("plan")) return velmora::RunPlan(args, out, err);
    err << (command.isEmpty() ? QStringLiteral("velmora-files: give a command")
                              : QStringLiteral("velmora-files: unknown command ") + command)
        << QStringLiteral("; velmora-files --help lists them") << Qt::endl;
    return 2;
}
