#pragma once
// Reading a run file's text into its steps: the grammar, the units, and the
// bounds that keep any file, however large or strange, to a quick verdict.

#include "runs/run_lexer.h"
#include "runs/run_program.h"

#include <QByteArrayView>
#include <QList>

namespace velmora {

/// A run file is small: past these it is refused with the line that goes past.
inline constexpr qsizetype kMaxRunFileBytes = 1 << 20;
inline constexpr int kMaxRunFileLines = 10'000;
inline constexpr int kMaxRunLineBytes = 4096;
inline constexpr int kMaxRepeatDepth = 4;
inline constexpr int kMaxRepeatCount = 1'000'000;
inline constexpr int kMaxSweepPoints = 10'000;
inline constexpr qint64 kMaxDurationMs = 8760LL * 3'600'000; // a year
/// More problems than this are cut short with a last one saying so.
inline constexpr int kMaxRunProblems = 50;

/// The steps, and what is wrong with the text; the steps are only for
/// running when there are no problems.
struct ParsedRun {
    RunProgram program;
    QList<RunProblem> problems;
};

/// Reads a whole run file's bytes. Lines end in LF, CR LF or CR; `#` starts
/// a comment; keywords and units in any case.
ParsedRun ParseRun(QByteArrayView text);

/// Sorts by line and column and keeps the first kMaxRunProblems, with a
/// last one saying that more follow.
void SortAndCutProblems(QList<RunProblem>& problems);

/// One line (no line end), as ParseRun reads it, for tests: the step or the
/// problem; nothing at all for a blank or comment line.
struct ParsedLine {
    std::optional<RunStep> step;
    std::optional<RunProblem> problem;
};
ParsedLine ParseRunLine(QByteArrayView line, int lineNumber);

} // namespace velmora
