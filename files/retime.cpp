#include "files/retime.h"

#include "files/output.h"
#include "recording/record_format.h"
#include "recording/wall_time.h"

namespace velmora {

namespace {

int Fail(QTextStream& err, const QString& message, int code = 2) {
    err << QStringLiteral("velmora-files retime: ") << message << Qt::endl;
    return code;
}

// When a stamp was written, in seconds since 1970: of an hour the clock
// shows twice, the time that is not before the record before it, as a
// recording goes on.
qint64 Happened(const LocalMoment& moment, std::optional<qint64> previous) {
    if (moment.reading == Reading::Twice && previous && moment.first < *previous)
        return moment.last;
    return moment.first;
}

} // namespace

std::optional<QByteArray> RetimeLine(const QByteArray& line, qint64 moment) {
    const auto record = ParseRecord(line);
    if (!record) return std::nullopt;
    // A record's first field is its stamp between two "#": only that changes.
    const qsizetype open = line.indexOf('#');
    const qsizetype close = line.indexOf('#', open + 1);
    if (open < 0 || close < 0) return std::nullopt;
    const QByteArray retimed =
        line.left(open) + FormatStamp(FromWallSeconds(moment)) + line.mid(close + 1);
    const auto back = ParseRecord(retimed);
    if (!back || WallSeconds(back->date, back->time) != moment ||
        back->voltageText != record->voltageText || back->currentText != record->currentText)
        return std::nullopt;
    return retimed;
}

int RunRetime(const QStringList& args, QTextStream& out, QTextStream& err) {
    const Options options = ParseOptions(
        args, {QStringLiteral("--start"), QStringLiteral("--in"), QStringLiteral("-o")});
    if (!options.error.isEmpty()) return Fail(err, options.error);
    if (options.files.size() != 1) return Fail(err, QStringLiteral("give one record file"));
    QString error;
    LocalClock clock;
    const auto start = StartMoment(options, clock, error);
    if (!start) return Fail(err, error);
    // A line too long to be a record is one the player skips: it is kept as
    // it is, like any other line that is not a record.
    InputFile input = OpenInput(options.files.first(), LongLines::Kept);
    if (!input.error.isEmpty()) return Fail(err, input.error);
    Output output(options, out, true);
    if (!output.open(error)) return Fail(err, error);

    std::optional<qint64> shift, previous;
    int number = 0, kept = 0;
    while (const auto line = input.lines->next()) {
        ++number;
        const auto record =
            input.lines->lastWasTooLong() ? std::optional<Record>() : ParseRecord(*line);
        if (!record) {
            ++kept;
            // Apart from its line end: a long line is not copied once more.
            output.write(*line);
            output.write("\r\n");
            continue;
        }
        const qint64 happened =
            Happened(clock.momentOf(WallSeconds(record->date, record->time)), previous);
        previous = happened;
        if (!shift) shift = *start - happened;
        const auto retimed = RetimeLine(*line, clock.wallOf(happened + *shift));
        if (!retimed)
            return Fail(err, QStringLiteral("line ") + QString::number(number) +
                                 QStringLiteral(" cannot be moved there: its date would leave the "
                                                "years a record can carry"));
        output.write(*retimed + "\r\n");
    }
    if (!shift)
        return Fail(err,
                    QStringLiteral("no line of ") + options.files.first() +
                        QStringLiteral(" is a record"),
                    1);
    if (!output.finish(error)) return Fail(err, error);
    if (kept > 0)
        err << QStringLiteral("kept ") << kept << QStringLiteral(" of ") << number
            << QStringLiteral(" lines as they were: they are not records") << Qt::endl;
    return 0;
}

} // namespace velmora
