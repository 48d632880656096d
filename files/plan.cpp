#include "files/plan.h"

#include "files/output.h"
#include "playback/playback_rules.h"
#include "recording/record_format.h"
#include "recording/wall_time.h"

#include <QRegularExpression>

namespace velmora {

namespace {

// A plan longer than this is a mistake in --repeat, not a plan.
constexpr qint64 kMaxRecords = 1'000'000;
constexpr qint64 kMaxStepSeconds = 100LL * 365 * 86400;

int Fail(QTextStream& err, const QString& message, int code = 2) {
    err << QStringLiteral("velmora-files plan: ") << message << Qt::endl;
    return code;
}

// A decimal as a whole number of 1/10^decimals, when the control file can
// carry it: at most `digits` digits before the separator and nothing but
// zeros past `decimals` after it.
std::optional<int> Decimal(const QByteArray& text, int digits, int decimals) {
    const QRegularExpression pattern(QStringLiteral("^([0-9]+)(?:[.,]([0-9]*))?$"));
    const auto match = pattern.match(QString::fromLatin1(text));
    if (!match.hasMatch()) return std::nullopt;
    QString whole = match.captured(1);
    QString fraction = match.captured(2);
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    while (fraction.size() > decimals && fraction.endsWith(u'0'))
        fraction.chop(1);
    if (whole.size() > digits || fraction.size() > decimals) return std::nullopt;
    return QString(whole + fraction.leftJustified(decimals, u'0')).toInt();
}

QString Digits(int value, int width, int decimals) {
    const QString all = QString::number(value).rightJustified(width, u'0');
    return all.left(width - decimals) + u'.' + all.right(decimals);
}

} // namespace

PlanLine ParsePlanLine(const QByteArray& line) {
    const qsizetype comment = line.indexOf('#');
    const QByteArray text = (comment < 0 ? line : line.left(comment)).simplified();
    if (text.isEmpty()) return NoStep{};
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() != 3)
        return QStringLiteral("a step is three numbers: volts, amperes, seconds (5.0 0.40 10)");
    const auto volts = Decimal(parts[0], 2, 1);
    if (!volts)
        return QStringLiteral("voltage \"") + QString::fromLatin1(parts[0]) +
               QStringLiteral("\" does not fit a control file: 0.0 to 99.9 V, one decimal");
    const auto amps = Decimal(parts[1], 1, 2);
    if (!amps)
        return QStringLiteral("current \"") + QString::fromLatin1(parts[1]) +
               QStringLiteral("\" does not fit a control file: 0.00 to 9.99 A, two decimals");
    bool ok = false;
    const qint64 seconds = QString::fromLatin1(parts[2]).toLongLong(&ok);
    if (!ok || seconds < 1 || seconds > kMaxStepSeconds || parts[2].startsWith('+'))
        return QStringLiteral("time \"") + QString::fromLatin1(parts[2]) +
               QStringLiteral("\" is not a whole number of seconds, 1 or more");
    return PlanStep{*volts, *amps, seconds};
}

QByteArray PlanRecords(const QList<PlanStep>& steps, qint64 start, int repeat, LocalClock& clock) {
    QByteArray records;
    qint64 at = start;
    for (int round = 0; round < repeat; ++round) {
        for (const PlanStep& step : steps) {
            records +=
                FormatRecord(FromWallSeconds(clock.wallOf(at)), Digits(step.decivolts, 3, 1) + u'V',
                             Digits(step.centiamps, 3, 2) + u'A');
            at += step.seconds;
        }
    }
    return records;
}

int RunPlan(const QStringList& args, QTextStream& out, QTextStream& err) {
    const Options options = ParseOptions(args, {QStringLiteral("--start"), QStringLiteral("--in"),
                                                QStringLiteral("--repeat"), QStringLiteral("-o")});
    if (!options.error.isEmpty()) return Fail(err, options.error);
    if (options.files.size() != 1) return Fail(err, QStringLiteral("give one list file"));
    QString error;
    LocalClock clock;
    const auto start = StartMoment(options, clock, error);
    if (!start) return Fail(err, error);
    bool ok = true;
    const int repeat =
        options.values.value(QStringLiteral("--repeat"), QStringLiteral("1")).toInt(&ok);
    if (!ok || repeat < 1)
        return Fail(err, QStringLiteral("--repeat needs a whole number, 1 or more"));
    InputFile input = OpenInput(options.files.first());
    if (!input.error.isEmpty()) return Fail(err, input.error);

    QList<PlanStep> steps;
    qint64 total = 0;
    int number = 0;
    while (const auto line = input.lines->next()) {
        ++number;
        const QString where =
            QStringLiteral("line ") + QString::number(number) + QStringLiteral(": ");
        if (input.lines->lastWasTooLong())
            return Fail(err, where + QStringLiteral("far too long for a step"), 1);
        const PlanLine parsed = ParsePlanLine(*line);
        if (const auto* refused = std::get_if<QString>(&parsed))
            return Fail(err, where + *refused, 1);
        const auto* step = std::get_if<PlanStep>(&parsed);
        if (!step) continue;
        if (step->centiamps >= 500)
            err << where
                << QStringLiteral("the 1A/20V model cannot be sent 5.00 A or more: there the "
                                  "player skips this step")
                << Qt::endl;
        steps.append(*step);
        total += step->seconds;
        if (qint64(steps.size()) * repeat > kMaxRecords)
            return Fail(err,
                        QStringLiteral("more than a million records: shorten the list or --repeat"),
                        1);
    }
    if (steps.isEmpty()) return Fail(err, QStringLiteral("the list holds no step"), 1);
    // The stamps must stay within years a record can carry.
    const QDate end = FromWallSeconds(clock.wallOf(*start + total * repeat)).date();
    if (!end.isValid() || end.year() > 9999)
        return Fail(err, QStringLiteral("the plan would run past the year 9999"), 1);
    return WriteResult(options, PlanRecords(steps, *start, repeat, clock), out, err,
                       QStringLiteral("velmora-files plan"))
               ? 0
               : 2;
}

} // namespace velmora
