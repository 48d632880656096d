#include "files/commands.h"

#include <cstdio>

namespace velmora::files {

namespace {

constexpr Command kCommands[] = {
    {"csv", "csv FILE [-o OUT]          the record file as CSV (standard output or OUT)", false,
     RunCsv},
    {"png", "png FILE -o OUT.png [--size WxH]  the plot as a PNG picture (default 1200x400)", true,
     RunPng},
    {"svg", "svg FILE -o OUT.svg [--size WxH]  the plot as an SVG picture", true, RunSvg},
};

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

std::unique_ptr<QApplication> DrawingApplication() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "velmora-files";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

int Fail(const QString& message) {
    std::fprintf(stderr, "velmora-files: %s\n", qPrintable(message));
    return kExitBadArguments;
}

} // namespace velmora::files
