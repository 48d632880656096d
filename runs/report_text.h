#pragma once
// The texts of a run's report, each from a pure function: the rows of
// measurements.csv and sweep-<step>.csv, summary.json, and the folder's name.

#include "runs/run_events.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace velmora {

/// "time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation\n".
QByteArray MeasurementsHeader();
/// "22.400,4.2,0.04,0.168,0.001918,0.007912,1,CV\n": the time from the run's
/// start, the values as the unit shows them, the meters from the run's start.
QByteArray MeasurementRow(const RunRow& row);

/// "set,voltage_V,current_A,power_W,regulation\n".
QByteArray SweepHeader();
/// "0.5,0.500,0.0500,0.0250,CV\n"; a point with no readable frame leaves its
/// values empty: "0.5,,,,\n".
QByteArray SweepRow(const SweepPoint& point);

/// "charge-20261208-143000": the run file's name without ".run", and the
/// local start time.
QString ReportFolderName(const QString& runFile, const QDateTime& start);

/// "2026-12-08T14:30:00.000+01:00": local time with its offset from UTC.
QString LocalTimeText(qint64 epochMs);

/// What summary.json holds.
struct RunSummary {
    QString file;      // the run file's name
    QByteArray sha256; // hex
    QString model;     // "1A/20V"
    QString port;      // "COM2"
    RunOutcome outcome;
    std::vector<StepOutcome> steps;
};

/// The summary as JSON, fields in a fixed order, two spaces to a level.
QByteArray SummaryJson(const RunSummary& summary);

/// "done", "failed", "running", "idle".
const char* OutcomeName(RunState state);

} // namespace velmora
