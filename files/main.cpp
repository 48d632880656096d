// velmora-files: the command line for record and control files.

#include "files/check.h"
#include "files/csv.h"
#include "files/output.h"
#include "files/picture.h"
#include "files/plan.h"
#include "files/report_picture.h"
#include "files/retime.h"
#include "files/usage.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// png, svg and report draw: they need the windowing part of Qt.
bool Draws(int argc, char* argv[]) {
    return argc > 1 && (!std::strcmp(argv[1], "png") || !std::strcmp(argv[1], "svg") ||
                        !std::strcmp(argv[1], "report"));
}

int Run(const QString& command, QStringList args, bool draws, QTextStream& out, QTextStream& err) {
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h") ||
        args.contains(QStringLiteral("--help"))) {
        out << velmora::kUsage;
        return 0;
    }
    if (command == QStringLiteral("check")) return velmora::RunCheck(args, out, err);
    if (command == QStringLiteral("retime")) return velmora::RunRetime(args, out, err);
    if (command == QStringLiteral("plan")) return velmora::RunPlan(args, out, err);
    if (command == QStringLiteral("csv")) return velmora::RunCsv(args, out, err);
    if (command == QStringLiteral("report")) return velmora::RunReportPictures(args, err);
    if (draws) return velmora::RunPicture(command, args, err);
    err << (command.isEmpty() ? QStringLiteral("velmora-files: give a command")
                              : QStringLiteral("velmora-files: unknown command ") + command)
        << QStringLiteral("; velmora-files --help lists them") << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    // png, svg and report make their own application once their arguments are good.
    const bool draws = Draws(argc, argv);
    const std::unique_ptr<QCoreApplication> app(draws ? nullptr : new QCoreApplication(argc, argv));
    // Standard output through a device that remembers a failed write (a full
    // disk, a closed descriptor), which a plain stream would not tell.
    velmora::DescriptorDevice standardOutput(STDOUT_FILENO);
    standardOutput.open(QIODevice::WriteOnly);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    const int code = Run(command, args, draws, out, err);
    out.flush();
    if (standardOutput.drain()) return code;
    err << QStringLiteral("velmora-files")
        << (command.startsWith(u'-') || command.isEmpty() ? QString() : u' ' + command)
        << QStringLiteral(": cannot write standard output: ") << standardOutput.errorString()
        << Qt::endl;
    return 2;
}
