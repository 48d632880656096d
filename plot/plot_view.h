#pragma once
// The drawing of a history: voltage, current and power over time, and the
// set-points as dashed steps.

#include "history/history.h"
#include "plot/step_marks.h"

#include <qcustomplot.h>

class QSvgGenerator;
#include <vector>

namespace velmora {

/// A plot of one history. It draws an envelope of the visible stretch, a
/// couple of points per pixel, so a day of samples redraws as fast as a minute.
class PlotView : public QCustomPlot {
    Q_OBJECT
  public:
    explicit PlotView(const History* history, QWidget* parent = nullptr);
    /// Draws another history from the next refresh on; it must outlive the view.
    void setHistory(const History* history) { history_ = history; }

    static QColor voltageColour() { return {0, 85, 200}; }
    static QColor currentColour() { return {200, 30, 30}; }
    static QColor powerColour() { return {20, 140, 40}; }

    void setShowPower(bool show);
    bool showPower() const { return showPower_; }
    /// Shows from `fromMs` to `toMs` (ms since the epoch).
    void setTimeRange(qint64 fromMs, qint64 toMs);
    /// The whole history, or a minute around now when it is empty.
    void showEverything(qint64 nowMs);
    /// Takes the history anew for the visible stretch and redraws.
    void refresh(QCustomPlot::RefreshPriority priority = QCustomPlot::rpQueuedReplot);

    /// A plan of set-points to come, drawn as dashed steps like the ones sent,
    /// and crosses at the times of `marks` (ms since the epoch) on the time
    /// axis, from the next refresh on.
    void setPlan(std::vector<SetpointStep> steps, std::vector<qint64> marks);
    const std::vector<SetpointStep>& plan() const { return plan_; }

    /// Where a run's steps began (in time order), drawn as labelled
    /// vertical lines from the next refresh on (plot/step_marks.cpp).
    void setStepMarks(std::vector<StepMark> marks);
    void addStepMark(StepMark mark);
    const std::vector<StepMark>& stepMarks() const { return stepMarks_; }

    /// The picture at the given size: PNG, or SVG when the name ends in
    /// ".svg". False when it could not be written.
    bool savePicture(const QString& path, QSize size);
    bool saveSvg(const QString& path, QSize size);
    /// The picture written into a device open for writing; false when
    /// drawing or writing failed.
    bool writePng(QIODevice* device, QSize size);
    bool writeSvg(QIODevice* device, QSize size);

  protected:
    /// The envelope is taken anew for the new width: one drawn before the
    /// window was laid out would be coarse.
    void resizeEvent(QResizeEvent* event) override;

  private:
    bool paintSvg(QSvgGenerator& svg, QSize size);
    QCPGraph* addLine(QCPAxis* valueAxis, const QColor& colour, Qt::PenStyle style);
    void fillSetpoints(qint64 toMs);
    void fillPlan(qint64 toMs);
    void placeStepMarks(qint64 fromMs, qint64 toMs);

    const History* history_;
    QCPAxis* powerAxis_;
    QCPGraph* volts_;
    QCPGraph* amps_;
    QCPGraph* watts_;
    QCPGraph* voltsSet_;
    QCPGraph* ampsSet_;
    QCPGraph* voltsPlan_;
    QCPGraph* ampsPlan_;
    QCPGraph* skipMarks_;
    std::vector<SetpointStep> plan_;
    std::vector<qint64> marks_;
    bool showPower_ = false;
    std::vector<StepMark> stepMarks_;
    std::vector<QCPItemStraightLine*> markLines_; // a pool: the marks in view
    std::vector<QCPItemText*> markLabels_;
};

} // namespace velmora
