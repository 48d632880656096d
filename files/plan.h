#pragma once
// velmora-files plan: a control file from a list written by hand, one step a
// line: voltage, current and how long to hold them ("5.0 0.40 10").

#include "recording/local_clock.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <variant>

namespace velmora {

/// One step of the list: set-points in the units a control file carries.
struct PlanStep {
    int decivolts = 0;  // 0.1 V
    int centiamps = 0;  // 0.01 A
    qint64 seconds = 0; // how long the step holds
    friend bool operator==(const PlanStep&, const PlanStep&) = default;
};

/// A line of the list: a step, nothing (blank or comment), or why it is
/// refused.
struct NoStep {
    friend bool operator==(NoStep, NoStep) = default;
};
using PlanLine = std::variant<PlanStep, NoStep, QString>;
PlanLine ParsePlanLine(const QByteArray& line);

/// The control-file lines, CR LF ended, for the steps from `start` (seconds
/// since 1970), the list `repeat` times over. Steps last the time that
/// passes: across a change of the clock, each stamp is what the local clock
/// shows then (an hour the clock shows twice gives the same stamps twice).
QByteArray PlanRecords(const QList<PlanStep>& steps, qint64 start, int repeat, LocalClock& clock);

/// plan LIST --start ... | --in SECONDS [--repeat N] [-o OUT]. Exit 0 when
/// written, 1 when the list is refused, 2 when it cannot be read or written
/// or the arguments are wrong.
int RunPlan(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace velmora
