// velmora-files: the record files of the panel, for scripts. The first
// argument names the subcommand; commands.cpp lists them.

#include "files/commands.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void PrintHelp() {
    std::printf("Usage: velmora-files COMMAND FILE [options]\n\n");
    for (const auto& command : velmora::files::Commands())
        std::printf("  velmora-files %s\n", command.usage);
    std::printf("\nLines that cannot be read, or whose values are not digits, are left out\n"
                "and counted on standard error. Exit 0 when the file was read.\n");
}

} // namespace

int main(int argc, char** argv) {
    using namespace velmora::files;
    if (argc < 2) return Fail("no command given (see --help)");
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        PrintHelp();
        return 0;
    }
    const QString name = QString::fromLocal8Bit(argv[1]);
    for (const auto& command : Commands()) {
        if (name != QLatin1String(command.name)) continue;
        QStringList args;
        for (int i = 2; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        // A command that draws makes its own application once its arguments
        // are found good (DrawingApplication).
        std::unique_ptr<QCoreApplication> app(command.draws ? nullptr
                                                            : new QCoreApplication(argc, argv));
        return command.run(args);
    }
    return Fail(QStringLiteral("unknown command %1 (see --help)").arg(name));
}
