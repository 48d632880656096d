#include "plot/step_marks.h"

#include "plot/plot_view.h"
#include "session/session.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace velmora {

namespace {

const QColor kMarkColour(110, 110, 110);

bool Before(const StepMark& mark, qint64 ms) {
    return mark.ms < ms;
}

} // namespace

QString StepMarkLabel(int step, const QString& stepText) {
    const QString word = stepText.section(u' ', 0, 0, QString::SectionSkipEmpty).toLower();
    return word.isEmpty() ? QString::number(step) : QString::number(step) + u' ' + word.left(8);
}

std::vector<StepMark> StepMarksOf(const RunControl& runs, qint64 nowMs) {
    std::vector<StepMark> marks;
    for (const StepOutcome& step : runs.endedSteps())
        marks.push_back({step.start.ms, StepMarkLabel(step.number, step.text)});
    const RunStatus status = runs.status();
    if (runs.running() && status.step > int(marks.size()))
        marks.push_back(
            {nowMs - status.elapsedNs / 1'000'000, StepMarkLabel(status.step, status.stepText)});
    return marks;
}

std::vector<PlacedMark> PlaceMarks(const std::vector<StepMark>& marks, qint64 fromMs, qint64 toMs,
                                   double pixels, MarkSpacing spacing) {
    std::vector<PlacedMark> placed;
    if (pixels < 1 || toMs <= fromMs) return placed;
    const double msPerPixel = double(toMs - fromMs) / pixels;
    // At least a millisecond on: marks at one moment are one line.
    const qint64 lineGap = std::max<qint64>(1, qint64(std::ceil(spacing.line * msPerPixel)));
    const double labelGap = spacing.label * msPerPixel;
    std::optional<qint64> lastLabel;
    auto it = std::lower_bound(marks.begin(), marks.end(), fromMs, Before);
    while (it != marks.end() && it->ms <= toMs) {
        const bool labelled = !lastLabel || double(it->ms - *lastLabel) >= labelGap;
        if (labelled) lastLabel = it->ms;
        placed.push_back({std::size_t(it - marks.begin()), labelled});
        it = std::lower_bound(it + 1, marks.end(), it->ms + lineGap, Before);
    }
    return placed;
}

RunStepMarks::RunStepMarks(Session& session, PlotView& view, QObject* parent) : QObject(parent) {
    view.setStepMarks(StepMarksOf(session.runs(), session.clock().epochMs()));
    // A step's start is told as it happens, on the clock its samples are
    // stamped with; the marks change only then, never with a frame.
    connect(&session, &Session::runEvent, this, [&session, &view](const RunEvent& event) {
        if (event.kind != RunEvent::StepStarted) return;
        if (event.step == 1) view.setStepMarks({});
        view.addStepMark({session.clock().epochMs(), StepMarkLabel(event.step, event.stepText)});
        view.refresh();
    });
}

// The view's side: a pool of lines and labels, placed anew at each refresh
// for the marks in view only, so a run of a million steps draws as fast as
// one of three.
void PlotView::setStepMarks(std::vector<StepMark> marks) {
    stepMarks_ = std::move(marks);
}

void PlotView::addStepMark(StepMark mark) {
    stepMarks_.push_back(std::move(mark));
}

void PlotView::placeStepMarks(qint64 fromMs, qint64 toMs) {
    const std::vector<PlacedMark> placed =
        stepMarks_.empty() ? std::vector<PlacedMark>{}
                           : PlaceMarks(stepMarks_, fromMs, toMs, std::max(width(), 100));
    while (markLines_.size() < placed.size()) {
        auto* line = new QCPItemStraightLine(this);
        QPen pen(kMarkColour, 1.0, Qt::DashLine);
        pen.setCosmetic(true);
        line->setPen(pen);
        markLines_.push_back(line);
        auto* label = new QCPItemText(this);
        label->position->setTypeX(QCPItemPosition::ptPlotCoords);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setColor(kMarkColour.darker(150));
        label->setBrush(QColor(255, 255, 255, 210));
        label->setPadding(QMargins(3, 1, 3, 1));
        markLabels_.push_back(label);
    }
    for (std::size_t i = 0; i < markLines_.size(); ++i) {
        const bool shown = i < placed.size();
        markLines_[i]->setVisible(shown);
        markLabels_[i]->setVisible(shown && placed[i].labelled);
        if (!shown) continue;
        const StepMark& mark = stepMarks_[placed[i].index];
        const double key = double(mark.ms) / 1000.0;
        markLines_[i]->point1->setCoords(key, 0);
        markLines_[i]->point2->setCoords(key, 1);
        markLabels_[i]->position->setCoords(key, 0.0);
        markLabels_[i]->setText(mark.label);
    }
}

} // namespace velmora
