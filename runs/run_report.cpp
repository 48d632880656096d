#include "runs/run_report.h"

#include <QDir>
#include <QSaveFile>

namespace velmora {

RunReport::RunReport(Clock& clock)
    : clock_(clock), syncTimer_(clock, [this] { syncDue(); }),
      sweepTimer_(clock, [this] { writeSweeps(); }) {}

RunReport::~RunReport() {
    writeSweeps();
    sync_.stop();
}

bool RunReport::open(const QString& parent, const RunReportInfo& info, QString* why) {
    const auto refuse = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    const qint64 startMs = clock_.epochMs();
    const QString base = ReportFolderName(info.runFile, QDateTime::fromMSecsSinceEpoch(startMs));
    QDir dir(parent);
    if (!dir.mkpath(QStringLiteral(".")))
        return refuse(QStringLiteral("cannot make the folder ") + parent);
    QString name = base;
    for (int n = 2; dir.exists(name) && n < 100; ++n)
        name = base + u'-' + QString::number(n);
    if (!dir.mkdir(name))
        return refuse(QStringLiteral("cannot make the folder ") + dir.filePath(name));
    folder_ = dir.filePath(name);
    summary_ = {info.runFile, info.sha256, info.model, info.port, {}, {}};
    summary_.outcome.state = RunState::Running;
    summary_.outcome.start = {clock_.monotonicNs(), startMs};
    measurements_ = std::make_unique<QFile>(folder_ + QStringLiteral("/measurements.csv"));
    // Unbuffered: a row is the system's the moment it is written.
    if (!measurements_->open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        measurements_->write(MeasurementsHeader()) < 0) {
        measurements_.reset();
        return refuse(QStringLiteral("cannot write ") + folder_ +
                      QStringLiteral("/measurements.csv"));
    }
    sync_.start(measurements_->handle());
    lastSyncNs_ = clock_.monotonicNs();
    writeWhole(QStringLiteral("summary.json"), SummaryJson(summary_));
    return true;
}

void RunReport::frame(const RunRow& row) {
    if (!measurements_) return;
    const QByteArray line = MeasurementRow(row);
    const qint64 before = measurements_->size();
    // Half a row (a full disk) would spoil the file: take it away.
    if (measurements_->write(line) != line.size()) {
        measurements_->resize(before);
        if (problems_.isEmpty()) problems_ << QStringLiteral("cannot write measurements.csv");
        return;
    }
    rowsUnsynced_ = true;
    const qint64 nowNs = clock_.monotonicNs();
    if (nowNs - lastSyncNs_ >= kSyncNs)
        syncDue();
    else if (!syncTimer_.isActive())
        syncTimer_.startAt(lastSyncNs_ + kSyncNs);
}

void RunReport::syncDue() {
    if (!rowsUnsynced_) return;
    rowsUnsynced_ = false;
    lastSyncNs_ = clock_.monotonicNs();
    syncTimer_.stop();
    sync_.request();
}

void RunReport::stepEnded(const StepOutcome& step) {
    summary_.steps.push_back(step);
}

void RunReport::sweepEnded(const StepOutcome& step, bool, const std::vector<SweepPoint>& points) {
    QByteArray bytes = SweepHeader();
    for (const SweepPoint& point : points)
        bytes += SweepRow(point);
    sweeps_.emplace_back(QStringLiteral("sweep-%1.csv").arg(step.number), bytes);
    // Written at the next turn: the next step's command goes out first.
    sweepTimer_.start(0);
}

void RunReport::writeSweeps() {
    for (const auto& [name, bytes] : sweeps_)
        writeWhole(name, bytes);
    sweeps_.clear();
}

void RunReport::runEnded(const RunOutcome& outcome) {
    if (folder_.isEmpty()) return;
    writeSweeps();
    summary_.outcome = outcome;
    syncTimer_.stop();
    sync_.stop(); // every row on the disk before the summary closes the folder
    if (measurements_) measurements_->close();
    measurements_.reset();
    writeWhole(QStringLiteral("summary.json"), SummaryJson(summary_));
}

bool RunReport::writeWhole(const QString& name, const QByteArray& bytes) {
    // Whole or not at all, and on the disk before it replaces an older one.
    QSaveFile file(folder_ + u'/' + name);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    problems_ << QStringLiteral("cannot write ") + name;
    return false;
}

QString ReportPictureProgram(const QString& applicationDir) {
    return applicationDir + QStringLiteral("/velmora-files");
}

QStringList ReportPictureArguments(const QString& folder) {
    return {QStringLiteral("report"), folder};
}

} // namespace velmora
