#include "playback/playback_rules.h"

#include "recording/wall_time.h"

namespace velmora {

RecordVerdict VerdictOnReading(const QByteArray& line) {
    return VerdictOnRecord(ParseRecord(line));
}

RecordVerdict VerdictOnRecord(const std::optional<Record>& record) {
    RecordVerdict verdict;
    verdict.record = record;
    if (!verdict.record) {
        verdict.reason = SkipReason::Unreadable;
        verdict.skippedAtOnce = true;
        return verdict;
    }
    // Value places that are not digits make no command on any model; the
    // rest waits for its time and the model in force then.
    const PlaybackCommand any = MakePlaybackCommand(
        Model::Large2A5_25V, verdict.record->voltageText, verdict.record->currentText);
    if (any.reason == SkipReason::VoltageNotDigits || any.reason == SkipReason::CurrentNotDigits) {
        verdict.reason = any.reason;
        verdict.skippedAtOnce = true;
    }
    return verdict;
}

RecordVerdict VerdictWhenDue(const Record& record, Model model, const UserLimits& limits) {
    RecordVerdict verdict;
    verdict.record = record;
    const PlaybackCommand made =
        MakePlaybackCommand(model, record.voltageText, record.currentText, limits);
    verdict.command = made.command;
    verdict.reason = made.reason;
    verdict.commandLength = made.length;
    return verdict;
}

RecordVerdict JudgeRecordLine(const QByteArray& line, Model model, const UserLimits& limits) {
    RecordVerdict first = VerdictOnReading(line);
    if (first.skippedAtOnce) return first;
    return VerdictWhenDue(*first.record, model, limits);
}

QString SkipReasonText(const RecordVerdict& verdict) {
    switch (verdict.reason) {
    case SkipReason::None:
        return {};
    case SkipReason::Unreadable:
        return QStringLiteral("cannot be read");
    case SkipReason::TooLong:
        return QStringLiteral("line too long to be a record");
    case SkipReason::NoModel:
        return QStringLiteral("no model chosen (the player shows \"Power supply version not "
                              "defined.\")");
    case SkipReason::VoltageNotDigits:
        return QStringLiteral("voltage is not two digits, a separator and a digit");
    case SkipReason::CurrentNotDigits:
        return QStringLiteral("current is not a digit, a separator and two digits");
    case SkipReason::CommandTooLong:
        return QStringLiteral("command would be %1 characters").arg(verdict.commandLength);
    case SkipReason::PastModelRange:
        return QStringLiteral("past the model's range");
    case SkipReason::PastUserLimit:
        return QStringLiteral("above your own limit for the model (settings group \"Limits\")");
    }
    return {};
}

QString ShowCommand(const QByteArray& command) {
    const QByteArrayView fields =
        command.endsWith('\r') ? QByteArrayView(command).chopped(1) : QByteArrayView(command);
    return QString::fromLatin1(fields).replace(u'\r', u' ');
}

QString DescribeWhen(qint64 stamp, qint64 goesOut, qint64 now) {
    if (goesOut <= now)
        return stamp < now ? QStringLiteral("at once (due ") + ShowAgo(now - stamp) +
                                 QStringLiteral(" ago)")
                           : QStringLiteral("at once (due now)");
    const QString after =
        stamp < goesOut ? QStringLiteral(", right after the record before") : QString();
    if (goesOut - now < kSecondsPerDay)
        return QStringLiteral("in ") + ShowDuration(goesOut - now) + after;
    const qint64 days =
        goesOut / kSecondsPerDay - now / kSecondsPerDay; // calendar days, as the dates differ
    return QStringLiteral("at ") + ShowMoment(goesOut) + QStringLiteral(" (in ") +
           QString::number(days) +
           (days == 1 ? QStringLiteral(" day)") : QStringLiteral(" days)")) + after;
}

} // namespace velmora
