// velmora-files png and svg: the plot window's picture of a record file,
// drawn without a display.

#include "files/commands.h"
#include "files/options.h"
#include "history/file_history.h"
#include "plot/plot_view.h"

#include <QDateTime>
#include <cstdio>

namespace velmora::files {

namespace {

int RunPicture(const QStringList& args, const char* suffix) {
    QString error;
    const auto options = ParseOptions(args, true, error);
    if (!options) return Fail(error);
    if (options->output.isEmpty()) return Fail(QStringLiteral("-o OUT.%1 is needed").arg(suffix));
    const auto app = DrawingApplication();
    FileHistory file = LoadRecordFile(options->input);
    if (!file.history) {
        std::fprintf(stderr, "velmora-files: %s\n", qPrintable(file.error));
        return kExitUnreadable;
    }
    PlotView view(file.history.get());
    view.resize(options->size);
    view.showEverything(QDateTime::currentMSecsSinceEpoch());
    // The layout of axes and labels, so the envelope fits the plot's width.
    view.replot(QCustomPlot::rpImmediateRefresh);
    view.refresh(QCustomPlot::rpImmediateRefresh);
    const QString output = options->output;
    const bool svg = QByteArray(suffix) == "svg";
    // The picture's kind follows the subcommand, whatever the name ends in.
    const bool saved = svg ? view.saveSvg(output, options->size)
                           : view.savePng(output, options->size.width(), options->size.height());
    if (!saved) {
        std::fprintf(stderr, "velmora-files: %s: cannot be written\n", qPrintable(output));
        return kExitUnreadable;
    }
    if (file.leftOut > 0)
        std::fprintf(stderr, "%s\n", qPrintable(LeftOutText(file.leftOut, file.lines)));
    return 0;
}

} // namespace

int RunPng(const QStringList& args) {
    return RunPicture(args, "png");
}

int RunSvg(const QStringList& args) {
    return RunPicture(args, "svg");
}

} // namespace velmora::files
