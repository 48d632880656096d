// velmora-files report: the pictures of a run's report folder.

#include "files/report_picture.h"

#include "files/options.h"
#include "runs/report_read.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>
#include <qcustomplot.h>

namespace velmora {

namespace {

// Past these the labels (then the lines) of the steps' starts would only
// blacken the picture.
constexpr std::size_t kMostLabels = 100;
constexpr std::size_t kMostLines = 2000;

const QColor kVolts(0, 85, 200), kAmps(200, 30, 30), kSteps(120, 120, 120);

QVector<double> Vector(const std::vector<double>& values) {
    return QVector<double>(values.begin(), values.end());
}

double Largest(const std::vector<double>& values, double least) {
    return values.empty() ? least
                          : std::max(least, *std::max_element(values.begin(), values.end()));
}

QCPGraph* AddGraph(QCustomPlot& plot, QCPAxis* key, QCPAxis* value, const QColor& colour) {
    QCPGraph* graph = plot.addGraph(key, value);
    QPen pen(colour, 1.0);
    pen.setCosmetic(true);
    graph->setPen(pen);
    return graph;
}

QString Label(int step, const QString& line) {
    const QString text = QString::number(step) + u' ' + line;
    return text.size() <= 40 ? text : text.left(39) + QChar(0x2026);
}

void DrawStepStarts(QCustomPlot& plot, const ReportCurves& curves,
                    const QMap<int, QString>& lines) {
    const auto& starts = curves.stepStarts;
    if (starts.size() > kMostLines) return;
    QPen pen(kSteps, 1.0, Qt::DashLine);
    pen.setCosmetic(true);
    for (const auto& [seconds, step] : starts) {
        auto* line = new QCPItemStraightLine(&plot);
        line->setPen(pen);
        line->point1->setCoords(seconds, 0);
        line->point2->setCoords(seconds, 1);
        if (starts.size() > kMostLabels) continue;
        auto* label = new QCPItemText(&plot);
        label->position->setTypeX(QCPItemPosition::ptPlotCoords);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->position->setCoords(seconds, 0.02);
        label->setRotation(90);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        label->setColor(kSteps.darker());
        // Over the curves, readable without hiding them.
        label->setBrush(QColor(255, 255, 255, 190));
        label->setPadding(QMargins(2, 1, 2, 1));
        label->setText(Label(step, lines.value(step)));
    }
}

void DrawOverTime(QCustomPlot& plot, const ReportCurves& curves, const QMap<int, QString>& lines) {
    plot.xAxis->setLabel(QStringLiteral("Time since the run's start (s)"));
    plot.yAxis->setLabel(QStringLiteral("Voltage (V)"));
    plot.yAxis2->setLabel(QStringLiteral("Current (A)"));
    plot.yAxis2->setVisible(true);
    // The axes in their curves' colours say which is which.
    for (const auto& [axis, colour] :
         {std::pair{plot.yAxis, kVolts}, std::pair{plot.yAxis2, kAmps}}) {
        axis->setLabelColor(colour);
        axis->setTickLabelColor(colour);
    }
    AddGraph(plot, plot.xAxis, plot.yAxis, kVolts)
        ->setData(Vector(curves.voltsAt), Vector(curves.volts), true);
    AddGraph(plot, plot.xAxis, plot.yAxis2, kAmps)
        ->setData(Vector(curves.ampsAt), Vector(curves.amps), true);
    const double end = std::max(Largest(curves.voltsAt, 0), Largest(curves.ampsAt, 0));
    // A little room before the start: the first step's line and label stay
    // clear of the axis. The current's axis reaches higher than the
    // voltage's, so a step holding both at their highest shows two lines.
    plot.xAxis->setRange(-std::max(end, 1.0) / 100, std::max(end, 1.0));
    plot.yAxis->setRange(0, Largest(curves.volts, 1.0) * 1.1);
    plot.yAxis2->setRange(0, Largest(curves.amps, 0.1) * 1.3);
    DrawStepStarts(plot, curves, lines);
}

void DrawSweeps(QCustomPlot& plot, const std::vector<SweepCurve>& sweeps) {
    auto* rect = new QCPAxisRect(&plot);
    plot.plotLayout()->addElement(1, 0, rect);
    QCPAxis* volts = rect->axis(QCPAxis::atBottom);
    QCPAxis* amps = rect->axis(QCPAxis::atLeft);
    volts->setLabel(QStringLiteral("Voltage (V)"));
    amps->setLabel(QStringLiteral("Current (A)"));
    auto* legend = new QCPLegend;
    rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
    legend->setLayer(QStringLiteral("legend"));
    double mostVolts = 1.0, mostAmps = 0.1;
    QVector<double> ccVolts, ccAmps;
    const QColor colours[] = {{0, 85, 200}, {20, 140, 40}, {150, 60, 170}, {200, 120, 0}};
    for (std::size_t i = 0; i < sweeps.size(); ++i) {
        const SweepCurve& sweep = sweeps[i];
        auto* curve = new QCPCurve(volts, amps);
        curve->setPen(QPen(colours[i % 4], 1.0));
        curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 5));
        curve->setData(Vector(sweep.volts), Vector(sweep.amps));
        curve->setName(QStringLiteral("sweep, step %1").arg(sweep.step));
        legend->addItem(new QCPPlottableLegendItem(legend, curve));
        mostVolts = Largest(sweep.volts, mostVolts);
        mostAmps = Largest(sweep.amps, mostAmps);
        for (std::size_t p = 0; p < sweep.volts.size(); ++p)
            if (sweep.constantCurrent[p]) {
                ccVolts << sweep.volts[p];
                ccAmps << sweep.amps[p];
            }
    }
    QCPGraph* limited = plot.addGraph(volts, amps);
    limited->setLineStyle(QCPGraph::lsNone);
    limited->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, kAmps, kAmps, 8));
    limited->setData(ccVolts, ccAmps);
    limited->setName(QStringLiteral("current limited (CC)"));
    legend->addItem(new QCPPlottableLegendItem(legend, limited));
    volts->setRange(0, mostVolts * 1.1);
    amps->setRange(0, mostAmps * 1.1);
}

// The sweeps in the folder, by their step's number.
std::vector<SweepCurve> ReadSweeps(const QDir& dir) {
    std::vector<SweepCurve> sweeps;
    const QRegularExpression name(QStringLiteral("^sweep-(\\d{1,9})\\.csv$"));
    for (const QString& file : dir.entryList({QStringLiteral("sweep-*.csv")}, QDir::Files)) {
        const auto match = name.match(file);
        if (!match.hasMatch()) continue;
        if (auto sweep = ReadSweepFile(dir.filePath(file), match.captured(1).toInt()))
            sweeps.push_back(std::move(*sweep));
    }
    std::sort(sweeps.begin(), sweeps.end(),
              [](const SweepCurve& a, const SweepCurve& b) { return a.step < b.step; });
    return sweeps;
}

bool WritePicture(QCustomPlot& plot, const QString& path, QSize size, bool svg) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Run"));
        QCPPainter painter;
        if (!painter.begin(&generator)) return false;
        plot.toPainter(&painter, size.width(), size.height());
        if (!painter.end()) return false;
    } else {
        const QImage image = plot.toPixmap(size.width(), size.height()).toImage();
        if (image.isNull() || !image.save(&file, "PNG")) return false;
    }
    return file.commit();
}

} // namespace

int RunReportPictures(const QStringList& args, QTextStream& err) {
    const auto fail = [&](const QString& message) {
        err << QStringLiteral("velmora-files report: ") << message << Qt::endl;
        return 2;
    };
    const Options options = ParseOptions(args, {QStringLiteral("--size")});
    if (!options.error.isEmpty()) return fail(options.error);
    if (options.files.size() != 1) return fail(QStringLiteral("give one report folder"));
    const QDir dir(options.files.first());
    const QString measurements = dir.filePath(QStringLiteral("measurements.csv"));
    if (!QFileInfo(measurements).isFile())
        return fail(dir.path() + QStringLiteral(" holds no measurements.csv: not a run's report"));
    QSize size;
    if (options.values.contains(QStringLiteral("--size"))) {
        const auto m = QRegularExpression(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"))
                           .match(options.values.value(QStringLiteral("--size")));
        size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
        if (size.width() < 16 || size.height() < 16 || size.width() > 20000 ||
            size.height() > 20000)
            return fail(QStringLiteral("--size wants WIDTHxHEIGHT, 16 to 20000 each"));
    }
    ReportCurves curves;
    if (const auto problem = ReadMeasurements(measurements, curves)) return fail(*problem);
    const std::vector<SweepCurve> sweeps = ReadSweeps(dir);
    QFile summary(dir.filePath(QStringLiteral("summary.json")));
    const QMap<int, QString> lines =
        StepLines(summary.open(QIODevice::ReadOnly) ? summary.read(16 << 20) : QByteArray());
    if (size.isEmpty()) size = QSize(1200, sweeps.empty() ? 400 : 800);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "velmora-files";
    char* argv[] = {name, nullptr};
    const QApplication app(argc, argv);
    QCustomPlot plot;
    plot.resize(size);
    DrawOverTime(plot, curves, lines);
    if (!sweeps.empty()) DrawSweeps(plot, sweeps);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    for (const bool svg : {true, false}) {
        const QString path =
            dir.filePath(svg ? QStringLiteral("plot.svg") : QStringLiteral("plot.png"));
        if (!WritePicture(plot, path, size, svg))
            return fail(QStringLiteral("cannot write ") + path);
    }
    if (curves.leftOut > 0)
        err << QStringLiteral("left out %1 of %2 rows of measurements.csv")
                   .arg(curves.leftOut)
                   .arg(curves.leftOut + curves.rows)
            << Qt::endl;
    return 0;
}

} // namespace velmora
