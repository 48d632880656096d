#include "runs/report_read.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

std::optional<double> Number(QByteArrayView text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// The last row's time: the length of the run the file covers.
double LastSeconds(QFile& file) {
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - 4096);
    if (!file.seek(from)) return 0;
    const QList<QByteArray> lines = file.read(size - from).split('\n');
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        if (const auto row = ParseMeasuredRow(*line)) return row->seconds;
    return 0;
}

// The lowest and highest value of one stretch, kept in time order.
struct Extremes {
    bool any = false;
    double lowAt = 0, low = 0, highAt = 0, high = 0;
    void take(double at, double value) {
        if (!any || value < low) {
            lowAt = at;
            low = value;
        }
        if (!any || value > high) {
            highAt = at;
            high = value;
        }
        any = true;
    }
    void appendTo(std::vector<double>& at, std::vector<double>& values) const {
        if (!any) return;
        const bool lowFirst = lowAt <= highAt;
        at.push_back(lowFirst ? lowAt : highAt);
        values.push_back(lowFirst ? low : high);
        if (lowAt == highAt) return;
        at.push_back(lowFirst ? highAt : lowAt);
        values.push_back(lowFirst ? high : low);
    }
};

} // namespace

std::optional<MeasuredRow> ParseMeasuredRow(QByteArrayView line) {
    line = line.trimmed();
    // time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation
    QList<QByteArrayView> fields;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= line.size() && fields.size() < 9; ++i)
        if (i == line.size() || line[i] == ',') {
            fields.append(line.sliced(from, i - from));
            from = i + 1;
        }
    if (fields.size() != 8) return std::nullopt;
    const auto seconds = Number(fields[0]), volts = Number(fields[1]), amps = Number(fields[2]);
    bool stepOk = false;
    const int step = fields[6].toInt(&stepOk);
    if (!seconds || !volts || !amps || !stepOk) return std::nullopt;
    return MeasuredRow{*seconds, *volts, *amps, step};
}

std::optional<QString> ReadMeasurements(const QString& path, ReportCurves& curves, int stretches) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path + QStringLiteral(": cannot be read (") + file.errorString() + u')';
    const double span = std::max(LastSeconds(file), 1e-3);
    file.seek(0);
    std::vector<Extremes> volts(std::size_t(stretches) + 1), amps(std::size_t(stretches) + 1);
    int lastStep = -1;
    bool header = true;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(4096);
        const auto row = ParseMeasuredRow(line);
        if (!row) {
            curves.leftOut += header ? 0 : 1;
            header = false;
            continue;
        }
        header = false;
        ++curves.rows;
        const auto stretch = std::size_t(std::clamp(row->seconds / span, 0.0, 1.0) * stretches);
        volts[stretch].take(row->seconds, row->volts);
        amps[stretch].take(row->seconds, row->amps);
        if (row->step != lastStep) curves.stepStarts.emplace_back(row->seconds, row->step);
        lastStep = row->step;
    }
    for (std::size_t i = 0; i < volts.size(); ++i) {
        volts[i].appendTo(curves.voltsAt, curves.volts);
        amps[i].appendTo(curves.ampsAt, curves.amps);
    }
    return std::nullopt;
}

SweepCurve ParseSweep(QByteArrayView text, int step) {
    SweepCurve curve;
    curve.step = step;
    for (const QByteArray& line : text.toByteArray().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() != 5) continue;
        const auto volts = Number(fields[1]), amps = Number(fields[2]);
        if (!volts || !amps) continue; // the header, or a point with no values
        curve.volts.push_back(*volts);
        curve.amps.push_back(*amps);
        curve.constantCurrent.push_back(fields[4] == "CC");
    }
    return curve;
}

std::optional<SweepCurve> ReadSweepFile(const QString& path, int step) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // A sweep holds at most 10,000 points of a few dozen characters.
    return ParseSweep(file.read(4 << 20), step);
}

QMap<int, QString> StepLines(const QByteArray& summaryJson) {
    QMap<int, QString> lines;
    const QJsonArray steps = QJsonDocument::fromJson(summaryJson).object().value("steps").toArray();
    for (const QJsonValue& step : steps) {
        const QJsonObject object = step.toObject();
        lines.insert(object.value("number").toInt(), object.value("text").toString());
    }
    return lines;
}

} // namespace velmora
