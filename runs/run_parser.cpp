#include "runs/run_parser.h"

#include "runs/step_reader.h"

#include <algorithm>

namespace velmora {

namespace {

using Kind = StepKind;

// "set 4.2 V 0.5 A": the two set-points, in either order.
bool ReadSetpoints(StepReader& in, RunStep& step) {
    step.setpointPlace = {in.line(), in.column()};
    bool haveVolts = false, haveAmps = false;
    for (int i = 0; i < 2; ++i) {
        const auto setpoint =
            in.setpoint(haveVolts ? Dimension::Current
                                  : (haveAmps ? Dimension::Voltage : std::optional<Dimension>()));
        if (!setpoint) return false;
        const bool volts = setpoint->first == Dimension::Voltage;
        (volts ? step.millivolts : step.milliamps) = int(setpoint->second);
        (volts ? haveVolts : haveAmps) = true;
    }
    return true;
}

std::optional<RunCondition> ReadCondition(StepReader& in) {
    RunCondition condition;
    condition.place = {in.line(), in.column()};
    const QByteArray word = in.word();
    if (word == "cc" || word == "cv") {
        condition.measure = word == "cc" ? Observed::ConstantCurrent : Observed::ConstantVoltage;
        return condition;
    }
    struct Known {
        const char* word;
        Observed measure;
        Dimension dimension;
        bool onlyAbove;
        const char* name; // as the message writes it
    };
    static constexpr Known kKnown[] = {
        {"i", Observed::Current, Dimension::Current, false, "I"},
        {"v", Observed::Voltage, Dimension::Voltage, false, "V"},
        {"p", Observed::Power, Dimension::Power, false, "P"},
        {"ah", Observed::Charge, Dimension::Charge, true, "Ah"},
        {"wh", Observed::Energy, Dimension::Energy, true, "Wh"},
        {"time", Observed::Time, Dimension::Duration, true, "time"},
    };
    for (const Known& known : kKnown) {
        if (word != known.word) continue;
        condition.measure = known.measure;
        const auto above = in.comparison();
        if (!above) return std::nullopt;
        if (known.onlyAbove && !*above) {
            in.failAt(condition.place.column,
                      QStringLiteral("%1 only grows during a step: use %1 > x")
                          .arg(QLatin1StringView(known.name)));
            return std::nullopt;
        }
        condition.above = *above;
        const bool unitOptional =
            known.measure == Observed::Charge || known.measure == Observed::Energy;
        const auto value = in.quantity(known.dimension, unitOptional);
        if (!value) return std::nullopt;
        condition.value = *value;
        return condition;
    }
    in.failAt(condition.place.column,
              QStringLiteral("expected a condition: I, V or P with < or >, Ah >, Wh >, "
                             "time >, CC or CV"));
    return std::nullopt;
}

bool ReadUntil(StepReader& in, RunStep& step) {
    step.kind = Kind::Until;
    do {
        auto condition = ReadCondition(in);
        if (!condition) return false;
        step.conditions.push_back(*condition);
    } while (in.takeWord("or"));
    if (in.takeWord("timeout")) {
        step.timeoutMs = in.positiveDuration("a timeout");
        if (!step.timeoutMs) return false;
    }
    return true;
}

bool ReadSet(StepReader& in, RunStep& step) {
    if (!ReadSetpoints(in, step)) return false;
    if (in.takeWord("for")) {
        const auto duration = in.positiveDuration("a step");
        if (!duration) return false;
        step.durationMs = *duration;
        return true;
    }
    if (in.takeWord("until")) return ReadUntil(in, step);
    in.failHere(QStringLiteral("expected `for <duration>` or `until <condition>`: a set step "
                               "needs an end"));
    return false;
}

// sweep V 0 V to 5 V step 0.5 V current 0.3 A dwell 2 s, or the same for I.
bool ReadSweep(StepReader& in, RunStep& step) {
    const QByteArray swept = in.word();
    if (swept != "v" && swept != "i") {
        in.failBefore(QStringLiteral("expected V or I: what the sweep steps"));
        return false;
    }
    step.sweepsVoltage = swept == "v";
    const Dimension dimension = step.sweepsVoltage ? Dimension::Voltage : Dimension::Current;
    step.setpointPlace = {in.line(), in.column()};
    const auto from = in.quantity(dimension);
    if (!from || !in.expectWord("to")) return false;
    const auto to = in.quantity(dimension);
    if (!to || !in.expectWord("step")) return false;
    const int incrementColumn = in.column();
    const auto increment = in.quantity(dimension);
    if (!increment) return false;
    if (*increment == 0) {
        in.failAt(incrementColumn, QStringLiteral("the sweep's step must be above 0"));
        return false;
    }
    step.from = int(*from);
    step.to = int(*to);
    step.increment = int(*increment);
    if (std::abs(step.to - step.from) / step.increment + 2 > kMaxSweepPoints) {
        in.failAt(incrementColumn,
                  QStringLiteral("a sweep of more than %1 points").arg(kMaxSweepPoints));
        return false;
    }
    if (!in.expectWord(step.sweepsVoltage ? "current" : "voltage")) return false;
    const auto fixed = in.quantity(step.sweepsVoltage ? Dimension::Current : Dimension::Voltage);
    if (!fixed || !in.expectWord("dwell")) return false;
    (step.sweepsVoltage ? step.milliamps : step.millivolts) = int(*fixed);
    const auto dwell = in.positiveDuration("a dwell");
    if (!dwell) return false;
    step.durationMs = *dwell;
    return true;
}

bool ReadStepBody(StepReader& in, RunStep& step) {
    const QByteArray keyword = in.word();
    if (keyword == "set") return ReadSet(in, step);
    if (keyword == "rest") {
        step.kind = Kind::Rest;
        const auto duration = in.positiveDuration("a rest");
        if (duration) step.durationMs = *duration;
        return duration.has_value();
    }
    if (keyword == "sweep") {
        step.kind = Kind::Sweep;
        return ReadSweep(in, step);
    }
    if (keyword == "repeat") {
        step.kind = Kind::Repeat;
        const auto count = in.count();
        if (count) step.count = *count;
        in.takeWord("times");
        return count.has_value();
    }
    if (keyword == "end") {
        step.kind = Kind::End;
        return true;
    }
    in.failAt(step.place.column,
              QStringLiteral("expected a step: set, rest, sweep, repeat or end"));
    return false;
}

QByteArrayView WithoutComment(QByteArrayView line) {
    const qsizetype hash = line.indexOf('#');
    return hash < 0 ? line : line.first(hash);
}

} // namespace

ParsedLine ParseRunLine(QByteArrayView line, int lineNumber) {
    ParsedLine parsed;
    const QByteArrayView code = WithoutComment(line);
    std::vector<Token> tokens;
    if (auto problem = CutTokens(code, lineNumber, tokens)) {
        parsed.problem = problem;
        return parsed;
    }
    if (tokens.empty()) return parsed;
    StepReader in(tokens, lineNumber, int(code.trimmed().size()) + tokens.front().column);
    RunStep step;
    step.place = {lineNumber, tokens.front().column};
    step.text = QString::fromUtf8(code.trimmed());
    if (ReadStepBody(in, step) && in.expectEnd()) {
        parsed.step = std::move(step);
        return parsed;
    }
    parsed.problem = in.problem();
    return parsed;
}

namespace {

// The repeats and ends of a file matched up, as its lines come.
class Structure {
  public:
    Structure(RunProgram& program, QList<RunProblem>& problems)
        : steps_(program.steps), problems_(problems) {}

    void take(RunStep step) {
        if (step.kind == Kind::Repeat) return open(std::move(step));
        if (step.kind == Kind::End) return close(std::move(step));
        steps_.push_back(std::move(step));
    }
    // A line with a problem still opens or closes a block, so that the rest
    // of the file is matched as its writer meant it.
    void takeRefused(QByteArrayView line) {
        std::vector<Token> tokens;
        CutTokens(line, 0, tokens);
        if (tokens.empty() || tokens.front().kind != Token::Word) return;
        const QByteArray keyword = tokens.front().text.toLower();
        if (keyword == "repeat") open_.push_back(-1);
        if (keyword == "end" && !open_.empty()) open_.pop_back();
    }
    void finish() {
        for (const int index : open_)
            if (index >= 0)
                problems_.append({steps_[std::size_t(index)].place,
                                  QStringLiteral("`repeat` without its `end`")});
    }

  private:
    void open(RunStep step) {
        if (open_.size() == std::size_t(kMaxRepeatDepth)) {
            problems_.append(
                {step.place, QStringLiteral("repeats nest at most %1 deep").arg(kMaxRepeatDepth)});
            open_.push_back(-1);
            return;
        }
        open_.push_back(open_.size() > std::size_t(kMaxRepeatDepth) ? -1 : int(steps_.size()));
        steps_.push_back(std::move(step));
    }
    void close(RunStep step) {
        if (open_.empty()) {
            problems_.append({step.place, QStringLiteral("`end` without a `repeat`")});
            return;
        }
        const int repeat = open_.back();
        open_.pop_back();
        if (repeat < 0) return;
        if (std::size_t(repeat) + 1 == steps_.size())
            problems_.append({step.place, QStringLiteral("a repeat with no step inside")});
        step.partner = repeat;
        steps_[std::size_t(repeat)].partner = int(steps_.size());
        steps_.push_back(std::move(step));
    }

    std::vector<RunStep>& steps_;
    QList<RunProblem>& problems_;
    std::vector<int> open_; // indices of the repeats open; -1 for one refused
};

// Where the line that starts at `at` ends, and where the next one starts.
std::pair<qsizetype, qsizetype> LineEnd(QByteArrayView text, qsizetype at) {
    const auto end =
        std::find_if(text.begin() + at, text.end(), [](char c) { return c == '\n' || c == '\r'; });
    const qsizetype index = end - text.begin();
    if (index == text.size()) return {index, index};
    const bool crlf = text[index] == '\r' && index + 1 < text.size() && text[index + 1] == '\n';
    return {index, index + (crlf ? 2 : 1)};
}

} // namespace

void SortAndCutProblems(QList<RunProblem>& problems) {
    std::stable_sort(problems.begin(), problems.end(), [](const auto& a, const auto& b) {
        return std::pair(a.place.line, a.place.column) < std::pair(b.place.line, b.place.column);
    });
    if (problems.size() <= kMaxRunProblems) return;
    const Place next = problems[kMaxRunProblems].place;
    problems.resize(kMaxRunProblems);
    problems.append({next, QStringLiteral("and more problems from here on, not listed")});
}

ParsedRun ParseRun(QByteArrayView text) {
    ParsedRun run;
    Structure structure(run.program, run.problems);
    // Past the bound the file is read to the last whole line before it.
    const bool tooLarge = text.size() > kMaxRunFileBytes;
    if (tooLarge) {
        const QByteArrayView within = text.first(kMaxRunFileBytes);
        const qsizetype lastEnd = std::max(within.lastIndexOf('\n'), within.lastIndexOf('\r'));
        text = within.first(lastEnd + 1);
    }
    int number = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        if (++number > kMaxRunFileLines) {
            run.problems.append(
                {{number, 1},
                 QStringLiteral("a run file holds at most %1 lines").arg(kMaxRunFileLines)});
            break;
        }
        const auto [end, next] = LineEnd(text, at);
        const QByteArrayView line = text.sliced(at, end - at);
        at = next;
        if (line.size() > kMaxRunLineBytes) {
            run.problems.append({{number, kMaxRunLineBytes + 1},
                                 QStringLiteral("a line of a run file holds at most %1 characters")
                                     .arg(kMaxRunLineBytes)});
            continue;
        }
        ParsedLine parsed = ParseRunLine(line, number);
        if (parsed.problem) {
            run.problems.append(*parsed.problem);
            structure.takeRefused(line);
        } else if (parsed.step) {
            structure.take(std::move(*parsed.step));
        }
    }
    if (tooLarge && number < kMaxRunFileLines)
        run.problems.append({{number + 1, 1},
                             QStringLiteral("the file goes past 1 MiB on this line: a run file "
                                            "holds at most 1 MiB")});
    structure.finish();
    if (run.program.steps.empty() && run.problems.isEmpty())
        run.problems.append({{1, 1}, QStringLiteral("the file holds no step")});
    std::stable_sort(run.problems.begin(), run.problems.end(), [](const auto& a, const auto& b) {
        return std::pair(a.place.line, a.place.column) < std::pair(b.place.line, b.place.column);
    });
    return run;
}

} // namespace velmora
