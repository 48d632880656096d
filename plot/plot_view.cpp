#include "plot/plot_view.h"

#include "history/history.h"

#include <QSvgGenerator>
#include <algorithm>
#include <limits>

namespace velmora {

namespace {

// An axis from zero to a little above the largest value shown.
void FitFromZero(QCPAxis* axis, double largest, double least) {
    axis->setRange(0, std::max(largest, least) * 1.1);
}

double Largest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

QVector<double> ToVector(const std::vector<double>& values) {
    return QVector<double>(values.begin(), values.end());
}

// Set-point steps as two step lines; the last step holds to `toMs`, so it
// shows as a step and not as a dot.
template <typename Steps>
void FillSteps(const Steps& steps, qint64 toMs, QCPGraph* voltsGraph, QCPGraph* ampsGraph) {
    QVector<double> keys, volts, amps;
    for (const SetpointStep& step : steps) {
        keys.push_back(double(step.ms) / 1000.0);
        volts.push_back(Volts(step.setpoints.voltage));
        amps.push_back(Amperes(step.setpoints.current));
    }
    if (!keys.isEmpty() && double(toMs) / 1000.0 > keys.back()) {
        keys.push_back(double(toMs) / 1000.0);
        volts.push_back(volts.back());
        amps.push_back(amps.back());
    }
    voltsGraph->setData(keys, volts, true);
    ampsGraph->setData(keys, amps, true);
}

} // namespace

PlotView::PlotView(const History* history, QWidget* parent)
    : QCustomPlot(parent), history_(history) {
    setNoAntialiasingOnDrag(true);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss\nyyyy-MM-dd"));
    ticker->setTickCount(5);
    xAxis->setTicker(ticker);
    xAxis->setLabel(QStringLiteral("Time"));
    yAxis->setLabel(QStringLiteral("Voltage (V)"));
    yAxis2->setLabel(QStringLiteral("Current (A)"));
    yAxis2->setVisible(true);
    powerAxis_ = axisRect()->addAxis(QCPAxis::atRight);
    powerAxis_->setLabel(QStringLiteral("Power (W)"));
    powerAxis_->setVisible(false);
    voltsSet_ = addLine(yAxis, voltageColour(), Qt::DashLine);
    ampsSet_ = addLine(yAxis2, currentColour(), Qt::DashLine);
    volts_ = addLine(yAxis, voltageColour(), Qt::SolidLine);
    amps_ = addLine(yAxis2, currentColour(), Qt::SolidLine);
    watts_ = addLine(powerAxis_, powerColour(), Qt::SolidLine);
    watts_->setVisible(false);
    voltsPlan_ = addLine(yAxis, voltageColour(), Qt::DashLine);
    ampsPlan_ = addLine(yAxis2, currentColour(), Qt::DashLine);
    for (QCPGraph* graph : {voltsSet_, ampsSet_, voltsPlan_, ampsPlan_})
        graph->setLineStyle(QCPGraph::lsStepLeft);
    skipMarks_ = addLine(yAxis, currentColour(), Qt::SolidLine);
    skipMarks_->setLineStyle(QCPGraph::lsNone);
    skipMarks_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCross, 9));
    skipMarks_->setName(QStringLiteral("Skipped"));
    volts_->setName(QStringLiteral("Voltage"));
    amps_->setName(QStringLiteral("Current"));
    watts_->setName(QStringLiteral("Power"));
    voltsSet_->setName(QStringLiteral("Voltage set"));
    ampsSet_->setName(QStringLiteral("Current set"));
    voltsPlan_->setName(QStringLiteral("Voltage planned"));
    ampsPlan_->setName(QStringLiteral("Current planned"));
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
}

QCPGraph* PlotView::addLine(QCPAxis* valueAxis, const QColor& colour, Qt::PenStyle style) {
    QCPGraph* graph = addGraph(xAxis, valueAxis);
    // A cosmetic pen: a wider one has every zigzag of the envelope stroked
    // as an outline, which takes seconds on a dense stretch.
    QPen pen(colour, 1.0, style);
    pen.setCosmetic(true);
    graph->setPen(pen);
    // Our own envelope already holds a couple of points per pixel; the
    // library's sampling covers what is left.
    graph->setAdaptiveSampling(true);
    return graph;
}

void PlotView::setShowPower(bool show) {
    showPower_ = show;
    watts_->setVisible(show);
    powerAxis_->setVisible(show);
    refresh();
}

void PlotView::setTimeRange(qint64 fromMs, qint64 toMs) {
    xAxis->setRange(double(fromMs) / 1000.0, double(std::max(toMs, fromMs + 1)) / 1000.0);
}

void PlotView::showEverything(qint64 nowMs) {
    std::optional<qint64> begin, end;
    const auto take = [&](qint64 ms) {
        begin = std::min(begin.value_or(ms), ms);
        end = std::max(end.value_or(ms), ms);
    };
    if (const auto first = history_->first()) take(first->ms);
    if (const auto last = history_->last()) take(last->ms);
    // The plan is in time order.
    if (!plan_.empty()) {
        take(plan_.front().ms);
        take(plan_.back().ms);
    }
    for (const qint64 ms : marks_)
        take(ms);
    if (!begin) {
        setTimeRange(nowMs - 60'000, nowMs);
        return;
    }
    // At least ten seconds, and a little room on both sides, so the first
    // and last points show.
    const qint64 last = std::max<qint64>(*end, *begin + 10'000);
    const qint64 pad = (last - *begin) / 50;
    setTimeRange(*begin - pad, last + pad);
}

void PlotView::setPlan(std::vector<SetpointStep> steps, std::vector<qint64> marks) {
    plan_ = std::move(steps);
    // Set once: a plan may hold a hundred thousand steps.
    FillSteps(plan_, std::numeric_limits<qint64>::min(), voltsPlan_, ampsPlan_);
    marks_ = std::move(marks);
    QVector<double> keys, zeros;
    for (const qint64 ms : marks_) {
        keys.push_back(double(ms) / 1000.0);
        zeros.push_back(0);
    }
    skipMarks_->setData(keys, zeros, true);
}

void PlotView::fillPlan(qint64 toMs) {
    // Only the hold of the last step moves with the view.
    if (plan_.empty()) return;
    const SetpointStep& last = plan_.back();
    const double lastKey = double(last.ms) / 1000.0, toKey = double(toMs) / 1000.0;
    voltsPlan_->data()->removeAfter(lastKey);
    ampsPlan_->data()->removeAfter(lastKey);
    if (toKey <= lastKey) return;
    voltsPlan_->addData(toKey, Volts(last.setpoints.voltage));
    ampsPlan_->addData(toKey, Amperes(last.setpoints.current));
}

void PlotView::fillSetpoints(qint64 toMs) {
    FillSteps(history_->setpoints(), toMs, voltsSet_, ampsSet_);
}

void PlotView::refresh(QCustomPlot::RefreshPriority priority) {
    const QCPRange range = xAxis->range();
    const qint64 fromMs = qint64(range.lower * 1000.0);
    const qint64 toMs = qint64(range.upper * 1000.0);
    // The widget's width, known before the plot's own layout is.
    const int buckets = std::max(width(), 100);
    const Envelope e = history_->envelope(fromMs, toMs, buckets);
    const QVector<double> keys = ToVector(e.keys);
    // A few samples get a dot each, so that a short file shows at all.
    const QCPScatterStyle dots(
        e.keys.size() < 200 ? QCPScatterStyle::ssDisc : QCPScatterStyle::ssNone, 4);
    for (QCPGraph* graph : {volts_, amps_, watts_})
        graph->setScatterStyle(dots);
    volts_->setData(keys, ToVector(e.volts), true);
    amps_->setData(keys, ToVector(e.amps), true);
    if (showPower_)
        watts_->setData(keys, ToVector(e.watts), true);
    else
        watts_->data()->clear();
    const auto last = history_->last();
    fillSetpoints(last ? std::max(last->ms, toMs) : toMs);
    fillPlan(toMs);
    placeStepMarks(fromMs, toMs);
    double setVolts = 0, setAmps = 0;
    const auto widen = [&](const SetpointStep& step) {
        setVolts = std::max(setVolts, Volts(step.setpoints.voltage));
        setAmps = std::max(setAmps, Amperes(step.setpoints.current));
    };
    std::for_each(history_->setpoints().begin(), history_->setpoints().end(), widen);
    std::for_each(plan_.begin(), plan_.end(), widen);
    FitFromZero(yAxis, std::max(Largest(e.volts), setVolts), 1.0);
    FitFromZero(yAxis2, std::max(Largest(e.amps), setAmps), 0.1);
    FitFromZero(powerAxis_, Largest(e.watts), 0.1);
    replot(priority);
}

void PlotView::resizeEvent(QResizeEvent* event) {
    QCustomPlot::resizeEvent(event);
    refresh();
}

bool PlotView::savePicture(const QString& path, QSize size) {
    if (!path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive))
        return savePng(path, size.width(), size.height());
    return saveSvg(path, size);
}

bool PlotView::saveSvg(const QString& path, QSize size) {
    QSvgGenerator svg;
    svg.setFileName(path);
    return paintSvg(svg, size);
}

bool PlotView::writeSvg(QIODevice* device, QSize size) {
    QSvgGenerator svg;
    svg.setOutputDevice(device);
    return paintSvg(svg, size);
}

bool PlotView::paintSvg(QSvgGenerator& svg, QSize size) {
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Plot"));
    QCPPainter painter;
    if (!painter.begin(&svg)) return false;
    toPainter(&painter, size.width(), size.height());
    return painter.end();
}

bool PlotView::writePng(QIODevice* device, QSize size) {
    // As savePng makes it: 96 dots per inch.
    QImage image = toPixmap(size.width(), size.height()).toImage();
    const int dotsPerMeter = int(96 / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return !image.isNull() && image.save(device, "PNG");
}

} // namespace velmora
