#pragma once
// The check every run goes through before it starts: the file's grammar,
// every set-point against the door's rules, conditions that can never hold,
// and the longest the run can take.

#include "runs/run_parser.h"

#include <QStringList>
#include <functional>

namespace velmora {

/// The door's verdict on a pair of set-points: empty when it would take
/// them, else why not ("above your own limit of 10.0 V").
using DoorCheck = std::function<QString(int millivolts, int milliamps)>;

/// The longest a run may take before the check refuses it.
inline constexpr qint64 kMaxWorstCaseMs = 100LL * 365 * 24 * 3'600'000;
/// The timeout of an `until` without one, when the settings give none.
inline constexpr qint64 kDefaultRunTimeoutMs = 24LL * 3'600'000;

struct RunCheckOptions {
    DoorCheck door;                                 // none: every value passes
    qint64 defaultTimeoutMs = kDefaultRunTimeoutMs; // [Runs] Timeout
};

/// What the check found.
struct RunVerdict {
    RunProgram program;         // to run, when ok()
    QList<RunProblem> problems; // in the order of the file
    qint64 worstCaseMs = 0;     // every for, rest, dwell and timeout, repeats multiplied
    bool ok() const { return problems.isEmpty(); }
    /// "03:00:20", or "more than 100 years".
    QString worstCaseText() const;
    /// One line per problem, then "verdict: ok" or "verdict: 2 problems",
    /// then "worst case: 03:00:20".
    QStringList lines() const;
};

/// Checks an already parsed program; the parse's problems come first.
RunVerdict CheckRun(ParsedRun parsed, const RunCheckOptions& options);
/// Parses and checks the bytes of a run file.
RunVerdict CheckRunText(QByteArrayView text, const RunCheckOptions& options);

/// The longest the steps can take, saturating at kMaxWorstCaseMs + 1,
/// computed without expanding the repeats.
qint64 WorstCaseMs(const RunProgram& program, qint64 defaultTimeoutMs);

/// The problem of one condition of an `until` step that can never hold,
/// if it cannot.
std::optional<RunProblem> NeverHolds(const RunStep& step, const RunCondition& condition);

} // namespace velmora
