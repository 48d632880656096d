#pragma once
// A run's report folder, written as the run goes: measurements.csv a row per
// readable frame, on the disk within a second; sweep-<step>.csv for each
// sweep; summary.json at the start and, closing it, at the end.

#include "core/clock.h"
#include "recording/disk_sync.h"
#include "runs/report_text.h"

#include <QFile>
#include <QStringList>
#include <memory>

namespace velmora {

/// What the report says about the run besides what the engine tells.
struct RunReportInfo {
    QString runFile;   // its name, as the summary gives it
    QByteArray sha256; // of the bytes the run was read from
    QString model;
    QString port;
};

class RunReport final : public RunObserver {
  public:
    /// Rows reach the disk no later than this after they are written.
    static constexpr qint64 kSyncNs = 1'000'000'000;

    explicit RunReport(Clock& clock);
    ~RunReport() override;

    /// Makes `<parent>/<run file>-<yyyyMMdd-HHmmss>/` (with "-2", "-3" ... when
    /// taken) and starts measurements.csv and summary.json. False with `why`.
    bool open(const QString& parent, const RunReportInfo& info, QString* why = nullptr);
    /// The report's folder, once open.
    QString folder() const { return folder_; }
    /// What could not be written, one line each; the run goes on regardless.
    const QStringList& problems() const { return problems_; }

    void frame(const RunRow& row) override;
    void stepEnded(const StepOutcome& step) override;
    void sweepEnded(const StepOutcome& step, bool sweepsVoltage,
                    const std::vector<SweepPoint>& points) override;
    void runEnded(const RunOutcome& outcome) override;

  private:
    bool writeWhole(const QString& name, const QByteArray& bytes);
    void writeSweeps();
    void syncDue();

    Clock& clock_;
    Timer syncTimer_;
    Timer sweepTimer_;
    QString folder_;
    RunSummary summary_;
    std::unique_ptr<QFile> measurements_;
    DiskSync sync_;
    qint64 lastSyncNs_ = 0;
    bool rowsUnsynced_ = false;
    std::vector<std::pair<QString, QByteArray>> sweeps_; // files still to write
    QStringList problems_;
};

/// How the headless program draws a report's pictures: `velmora-files`
/// beside it, run as a child with these arguments once the run has ended.
QString ReportPictureProgram(const QString& applicationDir);
QStringList ReportPictureArguments(const QString& folder);

} // namespace velmora
