#pragma once
// What the player does with one line of a control file: the player's own
// decisions, also used to tell a user beforehand what a file will do.

#include "playback/playback_command.h"
#include "recording/record_format.h"
#include "unit/model.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

/// The player's decision on a line: the command it sends, or why it sends
/// nothing for it.
struct RecordVerdict {
    std::optional<Record> record; // when the line reads as a record
    std::optional<QByteArray> command;
    SkipReason reason = SkipReason::None;
    qsizetype commandLength = 0; // for CommandTooLong
    /// Skipped as soon as it is read, without waiting for its time stamp; a
    /// record skipped at its time holds up the records after it until then.
    bool skippedAtOnce = false;
};

/// As the line is read: a record to wait for, or skipped at once when no
/// model could make a command of it (its stamp may lie years ahead).
RecordVerdict VerdictOnReading(const QByteArray& line);
/// The same for a line already parsed: its record, if it reads as one.
RecordVerdict VerdictOnRecord(const std::optional<Record>& record);

/// When the record is due, on the model in force then (read anew for every
/// record): the command, or why nothing is sent.
/// A record above the user's own limits (`limits`, ReadUserLimits of the
/// model) is skipped, never clamped.
RecordVerdict VerdictWhenDue(const Record& record, Model model, const UserLimits& limits = {});

/// Both steps: what the player does with the line on the model.
RecordVerdict JudgeRecordLine(const QByteArray& line, Model model, const UserLimits& limits = {});

/// Why a record is left out, in a few words: "cannot be read",
/// "command would be 9 characters", ...
QString SkipReasonText(const RecordVerdict& verdict);

/// How the player's timing treats a record it waits for: "at once (due 2
/// days ago)", "in 00:00:10", "at 2027-01-01 00:00:00 (in 25 days)".
/// `goesOut` is when the record goes out: its stamp, or later when a record
/// before it was due later still. Wall-clock seconds.
QString DescribeWhen(qint64 stamp, qint64 goesOut, qint64 now);

/// The command as a user reads it: "123 246".
QString ShowCommand(const QByteArray& command);

} // namespace velmora
