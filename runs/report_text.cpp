#include "runs/report_text.h"

#include "runs/run_text.h"

#include <algorithm>
#include <cstdlib>

namespace velmora {

namespace {

// A whole number of hundredths or tenths as the unit's read-out shows it.
QByteArray Fixed(qint64 value, int decimals) {
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return QByteArray::number(value / scale) + '.' +
           QByteArray::number(value % scale).rightJustified(decimals, '0');
}

QByteArray JsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u" + QByteArray::number(byte, 16).rightJustified(4, '0');
        } else {
            out += c;
        }
    }
    return out + '"';
}

QByteArray Number(double value, int decimals) {
    return QByteArray::number(value, 'f', decimals);
}

// "key": value, at the given indent.
struct JsonObject {
    QByteArray& out;
    QByteArray indent;
    bool first = true;
    void field(const char* key, const QByteArray& value) {
        out += (first ? "\n" : ",\n") + indent + '"' + key + "\": " + value;
        first = false;
    }
};

void StepJson(QByteArray& out, const StepOutcome& step) {
    out += "    {";
    JsonObject o{out, "      "};
    o.field("number", QByteArray::number(step.number));
    o.field("line", QByteArray::number(step.line));
    o.field("text", JsonString(step.text));
    o.field("start", JsonString(LocalTimeText(step.start.ms)));
    o.field("end", JsonString(LocalTimeText(step.end.ms)));
    o.field("reason", JsonString(step.reason));
    o.field("charge_Ah", Number(step.ampHours, 6));
    o.field("energy_Wh", Number(step.wattHours, 6));
    o.field("last_voltage_V", step.last ? Fixed(step.last->decivolts, 1) : "null");
    o.field("last_current_A", step.last ? Fixed(step.last->centiamps, 2) : "null");
    out += "\n    }";
}

} // namespace

QByteArray MeasurementsHeader() {
    return "time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation\n";
}

QByteArray MeasurementRow(const RunRow& row) {
    const qint64 ms = (std::max<qint64>(row.sinceStartNs, 0) + 500'000) / 1'000'000;
    return Fixed(ms, 3) + ',' + Fixed(row.values.decivolts, 1) + ',' +
           Fixed(row.values.centiamps, 2) + ',' + Fixed(row.values.milliwatts(), 3) + ',' +
           Number(row.ampHours, 6) + ',' + Number(row.wattHours, 6) + ',' +
           QByteArray::number(row.step) + ',' + RegulationName(row.regulation) + '\n';
}

QByteArray SweepHeader() {
    return "set,voltage_V,current_A,power_W,regulation\n";
}

QByteArray SweepRow(const SweepPoint& point) {
    QByteArray row = TrimmedDecimal(point.set, 3).toLatin1();
    if (point.frames == 0) return row + ",,,,\n";
    return row + ',' + Number(point.volts, 3) + ',' + Number(point.amps, 4) + ',' +
           Number(point.watts, 4) + ',' + RegulationName(point.regulation) + '\n';
}

QString ReportFolderName(const QString& runFile, const QDateTime& start) {
    QString name = runFile.section(u'/', -1);
    if (name.endsWith(QStringLiteral(".run"), Qt::CaseInsensitive)) name.chop(4);
    if (name.isEmpty()) name = QStringLiteral("run");
    return name + u'-' + start.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString LocalTimeText(qint64 epochMs) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(epochMs);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

const char* OutcomeName(RunState state) {
    switch (state) {
    case RunState::Idle:
        return "idle";
    case RunState::Running:
        return "running";
    case RunState::Done:
        return "done";
    case RunState::Failed:
        return "failed";
    }
    return "";
}

QByteArray SummaryJson(const RunSummary& summary) {
    QByteArray out = "{";
    JsonObject o{out, "  "};
    const RunOutcome& outcome = summary.outcome;
    o.field("file", JsonString(summary.file));
    o.field("sha256", JsonString(QString::fromLatin1(summary.sha256)));
    o.field("model", JsonString(summary.model));
    o.field("port", JsonString(summary.port));
    o.field("start", JsonString(LocalTimeText(outcome.start.ms)));
    o.field("end", outcome.state == RunState::Running ? QByteArray("null")
                                                      : JsonString(LocalTimeText(outcome.end.ms)));
    o.field("outcome", JsonString(QLatin1StringView(OutcomeName(outcome.state))));
    o.field("reason", JsonString(outcome.reason));
    o.field("charge_Ah", Number(outcome.totals.ampHours, 6));
    o.field("energy_Wh", Number(outcome.totals.wattHours, 6));
    QByteArray steps = "[";
    for (std::size_t i = 0; i < summary.steps.size(); ++i) {
        steps += i == 0 ? "\n" : ",\n";
        StepJson(steps, summary.steps[i]);
    }
    steps += summary.steps.empty() ? "]" : "\n  ]";
    o.field("steps", steps);
    return out + "\n}\n";
}

} // namespace velmora
