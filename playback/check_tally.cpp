#include "playback/check_tally.h"

#include "recording/record_format.h"
#include "recording/wall_time.h"
#include "unit/measurement.h"

namespace velmora {

namespace {

// A command takes eight characters at 10 ms each on the line, at the least.
constexpr qint64 kCommandMs = 80;
// Past this many of a kind, a file is wrong throughout: the rest are counted.
constexpr int kWarningsShown = 10;

} // namespace

QString CheckTally::head(int lineNumber) {
    return QStringLiteral("line ") + QString::number(lineNumber) + QStringLiteral(": ");
}

QString CheckTally::take(int lineNumber, const RecordVerdict& verdict) {
    const Timing timing = tally(lineNumber, verdict);
    if (verdict.skippedAtOnce)
        return head(lineNumber) + QStringLiteral("skipped, ") + SkipReasonText(verdict);
    const QString when = DescribeWhen(timing.stamp, timing.goesOut, now_);
    if (!verdict.command)
        return head(lineNumber) + QStringLiteral("skipped ") + when + QStringLiteral(", ") +
               SkipReasonText(verdict);
    return head(lineNumber) + ShowCommand(*verdict.command) + u' ' + when;
}

CheckTally::Timing CheckTally::tally(int lineNumber, const RecordVerdict& verdict) {
    ++lines_;
    if (verdict.record) ++records_;
    if (verdict.skippedAtOnce) {
        ++skipped_;
        return {};
    }
    // The player waits for this record: the ones after it wait at least as long.
    const qint64 stamp = WallSeconds(verdict.record->date, verdict.record->time);
    const qint64 goesOut = std::max(stamp, latest_);
    if (stamp < latest_ && goesOut > now_ && wanted(Backwards))
        warn(Backwards, head(lineNumber) + QStringLiteral("time stamp ") + ShowMoment(stamp) +
                            QStringLiteral(" is before ") + ShowMoment(latest_) +
                            QStringLiteral(": it goes out right after the record before"));
    latest_ = goesOut;
    checkClock(lineNumber, stamp);
    if (goesOut - now_ > kSecondsPerDay && wanted(FarAhead))
        warn(FarAhead, head(lineNumber) + QStringLiteral("due more than a day ahead, at ") +
                           ShowMoment(goesOut));
    endMs_ = std::max(endMs_, goesOut * 1000);
    if (!verdict.command) {
        ++skipped_;
        return {stamp, goesOut};
    }
    endMs_ += kCommandMs;
    if (commands_++ == 0) firstDue_ = goesOut;
    lastDue_ = goesOut;
    if (goesOut <= now_) ++pastDue_;
    return {stamp, goesOut};
}

void CheckTally::checkClock(int lineNumber, qint64 stamp) {
    // The player compares the clock's reading with the stamp, field by field.
    const Reading reading = clock_.momentOf(stamp).reading;
    if (reading == Reading::Once || !wanted(ClockChange)) return;
    warn(ClockChange, head(lineNumber) + QStringLiteral("time stamp ") + ShowMoment(stamp) +
                          (reading == Reading::Skipped
                               ? QStringLiteral(" does not exist on the local clock, which skips "
                                                "it at the change to summer time: the record "
                                                "goes out as the clock jumps over it")
                               : QStringLiteral(" comes twice on the local clock, at the change "
                                                "back from summer time: the record goes out the "
                                                "first time")));
}

bool CheckTally::wanted(Kind kind) {
    // Counted here, so that the text of a warning not shown is never built.
    return ++warningCounts_[kind] <= kWarningsShown;
}

void CheckTally::warn(Kind kind, const QString& text) {
    warnings_[kind].append(text);
}

QStringList CheckTally::warnings() const {
    QStringList all;
    for (int kind = 0; kind < KindCount; ++kind) {
        all += warnings_[kind];
        if (warningCounts_[kind] > kWarningsShown)
            all += QStringLiteral("... and %1 more like these")
                       .arg(warningCounts_[kind] - kWarningsShown);
    }
    if (records_ == 0)
        all += QStringLiteral("no line reads as a record: the player would send nothing");
    else if (commands_ > 0 && pastDue_ == commands_)
        all += QStringLiteral("every record is past due: the player sends all %1 commands at "
                              "once, back to back")
                   .arg(commands_);
    return all;
}

void CheckTally::finish(QTextStream& out) const {
    for (const QString& text : warnings())
        out << QStringLiteral("warning: ") << text << u'\n';
    out << QStringLiteral("summary: ") << lines_
        << (lines_ == 1 ? QStringLiteral(" line, ") : QStringLiteral(" lines, ")) << commands_
        << (commands_ == 1 ? QStringLiteral(" command") : QStringLiteral(" commands"))
        << QStringLiteral(" to send, ") << skipped_ << QStringLiteral(" skipped, on ")
        << ModelName(model_) << QStringLiteral(" at ") << ShowMoment(now_) << u'\n';
    if (commands_ == 0) return;
    out << QStringLiteral("summary: first due ") << ShowMoment(firstDue_)
        << QStringLiteral(", last due ") << ShowMoment(lastDue_) << u'\n';
    const qint64 runSeconds = (endMs_ - now_ * 1000 + 999) / 1000;
    out << QStringLiteral("summary: the run takes about ") << ShowDuration(runSeconds)
        << QStringLiteral(", until ") << ShowMoment(now_ + runSeconds) << u'\n';
}

} // namespace velmora
