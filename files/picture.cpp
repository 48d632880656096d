// velmora-files png and svg: the plot window's picture of a record file,
// drawn without a display.

#include "files/picture.h"

#include "files/output.h"
#include "history/file_history.h"
#include "plot/plot_view.h"

#include <QApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <optional>

namespace velmora {

namespace {

// "1200x400", each side 16 to 20000 pixels.
std::optional<QSize> ParseSize(const QString& text) {
    const QRegularExpression form(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const auto m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QSize size(m.captured(1).toInt(), m.captured(2).toInt());
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
        return std::nullopt;
    return size;
}

} // namespace

int RunPicture(const QString& kind, const QStringList& args, QTextStream& err) {
    const auto fail = [&](const QString& message) {
        err << QStringLiteral("velmora-files ") << kind << QStringLiteral(": ") << message
            << Qt::endl;
        return 2;
    };
    const Options options = ParseOptions(args, {QStringLiteral("-o"), QStringLiteral("--size")});
    if (!options.error.isEmpty()) return fail(options.error);
    if (options.files.size() != 1) return fail(QStringLiteral("give one record file"));
    if (!options.values.contains(QStringLiteral("-o")))
        return fail(QStringLiteral("-o OUT.") + kind + QStringLiteral(" is needed"));
    QSize size(1200, 400);
    if (options.values.contains(QStringLiteral("--size"))) {
        const auto given = ParseSize(options.values.value(QStringLiteral("--size")));
        if (!given) return fail(QStringLiteral("--size wants WIDTHxHEIGHT, 16 to 20000 each"));
        size = *given;
    }
    // Drawn without a display unless a platform is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "velmora-files";
    char* argv[] = {name, nullptr};
    const QApplication app(argc, argv);
    QTextStream none;
    Output output(options, none, true);
    QString error;
    if (!output.open(error)) return fail(error);
    FileHistory file = LoadRecordFile(options.files.first());
    if (!file.history) return fail(file.error);
    PlotView view(file.history.get());
    view.resize(size);
    view.showEverything(QDateTime::currentMSecsSinceEpoch());
    // The layout of axes and labels first, so the envelope fits the plot's width.
    view.replot(QCustomPlot::rpImmediateRefresh);
    view.refresh(QCustomPlot::rpImmediateRefresh);
    // The picture's kind follows the subcommand, whatever the name ends in.
    const bool drawn = kind == QStringLiteral("svg") ? view.writeSvg(output.device(), size)
                                                     : view.writePng(output.device(), size);
    if (!drawn) {
        error = output.writeError();
        return fail(error.isEmpty() ? QStringLiteral("cannot draw the picture") : error);
    }
    if (!output.finish(error)) return fail(error);
    if (file.leftOut > 0) err << LeftOutText(file.leftOut, file.lines) << Qt::endl;
    return 0;
}

} // namespace velmora
