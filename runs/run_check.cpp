#include "runs/run_check.h"

#include "runs/run_text.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr qint64 kCap = kMaxWorstCaseMs + 1;

qint64 Add(qint64 a, qint64 b) {
    return std::min(kCap, a + b); // both at most kCap: no overflow
}

qint64 Times(qint64 a, qint64 count) {
    return count > 0 && a > kCap / count ? kCap : a * count;
}

qint64 SweepPointCount(const RunStep& sweep) {
    if (sweep.increment <= 0) return 1;
    const qint64 span = std::abs(qint64(sweep.to) - sweep.from);
    return (span + sweep.increment - 1) / sweep.increment + 1;
}

qint64 StepMs(const RunStep& step, qint64 defaultTimeoutMs) {
    switch (step.kind) {
    case StepKind::Hold:
    case StepKind::Rest:
        return step.durationMs;
    case StepKind::Until:
        return step.timeoutMs.value_or(defaultTimeoutMs);
    case StepKind::Sweep:
        return Times(step.durationMs, SweepPointCount(step));
    case StepKind::Repeat:
    case StepKind::End:
        return 0;
    }
    return 0;
}

QString PairText(int millivolts, int milliamps) {
    return VoltsText(millivolts) + u' ' + AmpsText(milliamps);
}

// The first refusal of the door among a step's set-points.
std::optional<RunProblem> Refused(const RunStep& step, const DoorCheck& door) {
    if (!door) return std::nullopt;
    if (step.kind == StepKind::Hold || step.kind == StepKind::Until) {
        const QString why = door(step.millivolts, step.milliamps);
        if (!why.isEmpty())
            return RunProblem{step.setpointPlace,
                              PairText(step.millivolts, step.milliamps) + ": " + why};
    }
    if (step.kind == StepKind::Sweep) {
        // Every point lies between the two ends, so the ends tell the limits.
        for (const int value : {step.from, step.to}) {
            const auto [mv, ma] = SweepSetpoints(step, value);
            const QString why = door(mv, ma);
            if (!why.isEmpty())
                return RunProblem{step.setpointPlace,
                                  QStringLiteral("sweep point ") + PairText(mv, ma) + ": " + why};
        }
    }
    return std::nullopt;
}

} // namespace

qint64 WorstCaseMs(const RunProgram& program, qint64 defaultTimeoutMs) {
    std::vector<qint64> sums{0}; // one per repeat open, the whole run first
    for (const RunStep& step : program.steps) {
        if (step.kind == StepKind::Repeat) {
            sums.push_back(0);
        } else if (step.kind == StepKind::End && sums.size() > 1) {
            const qint64 count = program.steps[std::size_t(step.partner)].count;
            const qint64 block = Times(sums.back(), count);
            sums.pop_back();
            sums.back() = Add(sums.back(), block);
        } else {
            sums.back() = Add(sums.back(), StepMs(step, defaultTimeoutMs));
        }
    }
    qint64 total = 0;
    for (const qint64 sum : sums)
        total = Add(total, sum);
    return total;
}

std::optional<RunProblem> NeverHolds(const RunStep& step, const RunCondition& condition) {
    const auto never = [&](const QString& why) {
        return RunProblem{condition.place, condition.text() + " can never hold: " + why};
    };
    const bool reading = condition.measure == Observed::Current ||
                         condition.measure == Observed::Voltage ||
                         condition.measure == Observed::Power;
    if (reading && !condition.above && condition.value == 0)
        return never(QStringLiteral("no reading is below 0"));
    if (!condition.above) return std::nullopt;
    if (condition.measure == Observed::Current && condition.value > step.milliamps)
        return never(QStringLiteral("the step's current set-point is ") + AmpsText(step.milliamps));
    if (condition.measure == Observed::Voltage && condition.value > step.millivolts)
        return never(QStringLiteral("the step's voltage set-point is ") +
                     VoltsText(step.millivolts));
    // mW against mV x mA, which is uW.
    const qint64 most = qint64(step.millivolts) * step.milliamps;
    if (condition.measure == Observed::Power && condition.value * 1000 > most)
        return never(QStringLiteral("the step's set-points give at most ") +
                     WattsText(most / 1000));
    return std::nullopt;
}

RunVerdict CheckRun(ParsedRun parsed, const RunCheckOptions& options) {
    RunVerdict verdict;
    verdict.problems = std::move(parsed.problems);
    verdict.program = std::move(parsed.program);
    for (const RunStep& step : verdict.program.steps) {
        if (auto refused = Refused(step, options.door)) verdict.problems.append(*refused);
        if (step.kind != StepKind::Until) continue;
        for (const RunCondition& condition : step.conditions)
            if (auto never = NeverHolds(step, condition)) verdict.problems.append(*never);
    }
    verdict.worstCaseMs = WorstCaseMs(verdict.program, options.defaultTimeoutMs);
    if (verdict.worstCaseMs > kMaxWorstCaseMs && !verdict.program.steps.empty())
        verdict.problems.append({verdict.program.steps.front().place,
                                 QStringLiteral("the run could take more than 100 years")});
    SortAndCutProblems(verdict.problems);
    return verdict;
}

RunVerdict CheckRunText(QByteArrayView text, const RunCheckOptions& options) {
    return CheckRun(ParseRun(text), options);
}

QString RunVerdict::worstCaseText() const {
    if (worstCaseMs > kMaxWorstCaseMs) return QStringLiteral("more than 100 years");
    return LongDurationText(worstCaseMs);
}

QStringList RunVerdict::lines() const {
    QStringList lines;
    for (const RunProblem& problem : problems)
        lines << problem.text();
    lines << (ok() ? QStringLiteral("verdict: ok")
                   : QStringLiteral("verdict: %1 %2")
                         .arg(problems.size())
                         .arg(problems.size() == 1 ? "problem" : "problems"));
    lines << QStringLiteral("worst case: ") + worstCaseText();
    return lines;
}

} // namespace velmora
