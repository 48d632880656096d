#include "session/run_control.h"

#include <QFileInfo>
#include <QProcess>

namespace velmora {

RunControl::RunControl(Clock& clock, UnitControl& unit, RunSettings settings, QObject* parent)
    : QObject(parent), clock_(clock), unit_(unit), settings_(settings) {}

RunControl::~RunControl() {
    // A run cut by the program's end is told so in its summary.
    stop(QStringLiteral("the program ended"));
}

std::vector<StepOutcome> RunControl::endedSteps() const {
    return engine_ ? engine_->endedSteps() : std::vector<StepOutcome>{};
}

CheckedRunFile RunControl::check(const QString& path) const {
    // Every step's set-points as the door would take them now.
    const DoorCheck door = [this](int millivolts, int milliamps) {
        return unit_.check(SetpointSource::Run, {Millivolts(millivolts), Milliamps(milliamps)})
            .reason;
    };
    return CheckRunFile(path, {door, settings_.defaultTimeoutMs});
}

RunStart RunControl::start(const QString& path, const QString& name, const RunPlace& place) {
    if (running()) return {false, QStringLiteral("a run is going already"), {}};
    CheckedRunFile checked = check(path);
    if (!checked.file.error.isEmpty()) return {false, checked.file.error, {}};
    if (!checked.verdict.ok())
        return {false, checked.verdict.problems.first().text(), checked.verdict};

    auto report = std::make_unique<RunReport>(clock_);
    QString why;
    if (!report->open(place.reportParent,
                      {QFileInfo(name).fileName(), checked.file.sha256, place.model, place.port},
                      &why))
        return {false, why, checked.verdict};
    RunHost host;
    host.send = [this](int millivolts, int milliamps, std::function<void()> sent) {
        return unit_
            .request(SetpointSource::Run, {Millivolts(millivolts), Milliamps(milliamps)},
                     std::move(sent))
            .reason;
    };
    // A run that ends leaves the unit at zero; one ended by a zeroing (Zero
    // output, a trip) finds it there already.
    host.zero = [this] {
        if (unit_.setpoints() != Setpoints{}) unit_.request(SetpointSource::Run, {});
    };
    host.report = [this](const RunEvent& e) {
        emit runEvent(e);
        emit changed();
        if (e.kind == RunEvent::RunEnded) drawPictures();
    };
    // The previous run's engine and report stay until the next one starts,
    // so its outcome can still be asked for.
    engine_.reset();
    report_ = std::move(report);
    engine_ = std::make_unique<RunEngine>(clock_, std::move(host), settings_);
    fileName_ = name;
    engine_->start(checked.verdict.program, report_.get());
    emit changed();
    return {true, {}, checked.verdict};
}

void RunControl::stop(const QString& reason) {
    if (running()) engine_->stop(reason);
}

void RunControl::take(const Measurement& frame, Regulation regulation) {
    if (running()) engine_->take({frame.atNs, frame.atMs, frame.values, regulation});
}

void RunControl::linkAway(bool away) {
    if (running()) engine_->linkAway(away);
}

// The report's pictures are drawn by velmora-files, which has a display's
// drawing code: this program may run without it.
void RunControl::drawPictures() {
    if (!report_ || picturesBy_.isEmpty()) return;
    QProcess::startDetached(ReportPictureProgram(picturesBy_),
                            ReportPictureArguments(report_->folder()));
}

} // namespace velmora
