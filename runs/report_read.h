#pragma once
// A report folder read back for its pictures: measurements.csv thinned to an
// envelope a picture can hold, each sweep's points, and the steps' lines
// from summary.json.

#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <optional>
#include <vector>

namespace velmora {

/// The values of one row of measurements.csv that a picture needs.
struct MeasuredRow {
    double seconds = 0, volts = 0, amps = 0;
    int step = 0;
};
/// Nothing for the header or a row that cannot be read.
std::optional<MeasuredRow> ParseMeasuredRow(QByteArrayView line);

/// Voltage and current over the run, at most two points of each per stretch
/// of the run (its lowest and highest, in time order), and where each step
/// began.
struct ReportCurves {
    std::vector<double> voltsAt, volts, ampsAt, amps;
    std::vector<std::pair<double, int>> stepStarts; // seconds, step
    qint64 rows = 0;
    qint64 leftOut = 0; // lines that could not be read
};

/// Reads the file at `path` in one pass, `stretches` stretches over the
/// time the last row gives. The one-line reason when it cannot be read.
std::optional<QString> ReadMeasurements(const QString& path, ReportCurves& curves,
                                        int stretches = 2000);

/// One sweep's points as sweep-<step>.csv holds them; a point with no
/// values is left out.
struct SweepCurve {
    int step = 0;
    std::vector<double> volts, amps;
    std::vector<bool> constantCurrent;
};
/// The file's points; `step` from its name.
std::optional<SweepCurve> ReadSweepFile(const QString& path, int step);
SweepCurve ParseSweep(QByteArrayView text, int step);

/// Each step's line by its number, from summary.json's text; none when it
/// cannot be read.
QMap<int, QString> StepLines(const QByteArray& summaryJson);

} // namespace velmora
