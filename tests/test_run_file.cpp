// Run files: the grammar line by line, the problems with their line and
// column, the bounds on any file, the check against the door's rules and
// conditions that can never hold, the worst-case duration and the settings.

#include "runs/door_check.h"
#include "runs/run_check.h"
#include "runs/run_parser.h"
#include "runs/run_settings.h"
#include "runs/run_text.h"
#include "support/print_qt.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

// One step in a line of text: what the engine will do with it.
QString Describe(const RunStep& s) {
    QString text;
    switch (s.kind) {
    case StepKind::Hold:
        text = QStringLiteral("hold %1 %2 for %3");
        break;
    case StepKind::Until:
        text = QStringLiteral("until %1 %2");
        break;
    case StepKind::Rest:
        return QStringLiteral("rest ") + WrittenDuration(s.durationMs);
    case StepKind::Repeat:
        return QStringLiteral("repeat %1").arg(s.count);
    case StepKind::End:
        return QStringLiteral("end");
    case StepKind::Sweep:
        return QStringLiteral("sweep %1 %2..%3 by %4 at %5 dwell %6")
            .arg(s.sweepsVoltage ? "V" : "I")
            .arg(s.from)
            .arg(s.to)
            .arg(s.increment)
            .arg(s.sweepsVoltage ? AmpsText(s.milliamps) : VoltsText(s.millivolts))
            .arg(WrittenDuration(s.durationMs));
    }
    text = text.arg(VoltsText(s.millivolts), AmpsText(s.milliamps));
    if (s.kind == StepKind::Hold) return text.arg(WrittenDuration(s.durationMs));
    QStringList conditions;
    for (const RunCondition& c : s.conditions)
        conditions << c.text();
    text += QStringLiteral(" [") + conditions.join(" | ") + u']';
    if (s.timeoutMs) text += QStringLiteral(" timeout ") + WrittenDuration(*s.timeoutMs);
    return text;
}

QString ParseOne(const char* line) {
    const ParsedLine parsed = ParseRunLine(line, 7);
    if (parsed.problem) return parsed.problem->text();
    return parsed.step ? Describe(*parsed.step) : QStringLiteral("nothing");
}

TEST(RunFileLine, ReadsEveryFormOfStep) {
    const struct {
        const char* line;
        const char* step;
    } cases[] = {
        {"set 4.2 V 0.5 A until I < 0.05 A timeout 3 h",
         "until 4.2 V 0.5 A [I < 0.05 A] timeout 3 h"},
        {"SET 5 v 100 mA FOR 10 S", "hold 5 V 0.1 A for 10 s"},
        {"set 0.5 A 4.2 V for 90 min", "hold 4.2 V 0.5 A for 90 min"},
        {"set 4.2V 0.5A for 1.5s  # joined units", "hold 4.2 V 0.5 A for 1.5 s"},
        {"set 0 V 0 A for 5 s", "hold 0 V 0 A for 5 s"},
        {"set 12 V 1 A until V > 11.5 V or P < 0.25 W or CC or cv",
         "until 12 V 1 A [V > 11.5 V | P < 0.25 W | CC | CV]"},
        {"set 4.2 V 1 A until Ah > 0.5 or Wh > 1500 mWh timeout 2 h",
         "until 4.2 V 1 A [Ah > 0.5 Ah | Wh > 1.5 Wh] timeout 2 h"},
        {"set 4.2 V 1 A until ah>2mAh or time > 30 s",
         "until 4.2 V 1 A [Ah > 0.002 Ah | time > 30 s]"},
        {"set .5 V 1. A until I<0.05A", "until 0.5 V 1 A [I < 0.05 A]"},
        {"rest 10 s", "rest 10 s"},
        {"rest 250 ms", "rest 250 ms"},
        {"Rest 0.5 h", "rest 30 min"},
        {"sweep V 0 V to 5 V step 0.5 V current 0.3 A dwell 2 s",
         "sweep V 0..5000 by 500 at 0.3 A dwell 2 s"},
        {"sweep v 5 V to 0 V step 500 mV current 300 mA dwell 2 s",
         "sweep V 5000..0 by 500 at 0.3 A dwell 2 s"},
        {"sweep I 0 A to 1 A step 0.1 A voltage 12 V dwell 500 ms",
         "sweep I 0..1000 by 100 at 12 V dwell 500 ms"},
        {"repeat 3", "repeat 3"},
        {"REPEAT 100 times", "repeat 100"},
        {"end", "end"},
        {"   # only a comment", "nothing"},
        {"", "nothing"},
        {"\t ", "nothing"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseOne(c.line), QString::fromUtf8(c.step)) << c.line;
}

TEST(RunFileLine, NamesEachProblemWithItsLineAndColumn) {
    const struct {
        const char* line;
        const char* problem;
    } cases[] = {
        {"go 4.2 V", "line 7:1: expected a step: set, rest, sweep, repeat or end"},
        {"set 4.2 V 0.5 A", "line 7:16: expected `for <duration>` or `until <condition>`: a set "
                            "step needs an end"},
        {"set 4.2 0.5 A for 1 s", "line 7:9: expected a unit after 4.2: V, mV, A or mA"},
        {"set 4.2 V 5 V for 1 s",
         "line 7:13: the step has two set-points of one kind: expected a current such as 0.5 A"},
        {"set 4.2 V 0.5 A for 10", "line 7:23: expected a unit after 10: ms, s, min or h"},
        {"set 4.2 V 0.5 A for 10 V", "line 7:24: expected a unit after 10: ms, s, min or h"},
        {"set 1e308 V 0.5 A for 1 s",
         "line 7:5: 1e308: numbers are written out, without an exponent"},
        {"set NaN V 0.5 A for 1 s", "line 7:5: expected a voltage such as 4.2 V"},
        {"set inf V 0.5 A for 1 s", "line 7:5: expected a voltage such as 4.2 V"},
        {"rest 2E-3 s", "line 7:6: 2E-3: numbers are written out, without an exponent"},
        {"set 4,2 V 0.5 A for 1 s", "line 7:6: unexpected character ','"},
        {"set 4.2.1 V 0.5 A for 1 s",
         "line 7:5: cannot read the number 4.2.1: digits with at most one point, 12 digits at "
         "most"},
        {"set 1234567890123 V 0.5 A for 1 s",
         "line 7:5: cannot read the number 1234567890123: digits with at most one point, 12 "
         "digits at most"},
        {"set -4.2 V 0.5 A for 1 s", "line 7:5: a voltage cannot be negative"},
        {"set 4.2 V 0.5 A for -1 s", "line 7:21: a duration cannot be negative"},
        {"set 4.2 V 0.5 A for 0 s", "line 7:21: a step must last longer than 0"},
        {"set 4.2345 V 0.5 A for 1 s", "line 7:5: 4.2345 is finer than 1 mV"},
        {"set 4.2 V 0.5 A for 0.5 ms", "line 7:21: 0.5 is finer than 1 ms"},
        {"set 4.2 V 0.5 A for 9000 h", "line 7:21: 9000 is past 8760 h"},
        {"set 2000 V 0.5 A for 1 s", "line 7:5: 2000 is past 1000 V"},
        {"set 4.2 V 0.5 A until I 0.05 A", "line 7:25: expected < or >"},
        {"set 4.2 V 0.5 A until I < 0.05 V", "line 7:32: expected a unit after 0.05: A or mA"},
        {"set 4.2 V 0.5 A until X > 1 V",
         "line 7:23: expected a condition: I, V or P with < or >, Ah >, Wh >, time >, CC or CV"},
        {"set 4.2 V 0.5 A until Ah < 1", "line 7:23: Ah only grows during a step: use Ah > x"},
        {"set 4.2 V 0.5 A until time < 1 s",
         "line 7:23: time only grows during a step: use time > x"},
        {"set 4.2 V 0.5 A until CV or", "line 7:28: expected a condition: I, V or P with < or >, "
                                        "Ah >, Wh >, time >, CC or CV"},
        {"set 4.2 V 0.5 A until CV timeout", "line 7:33: expected a duration such as 10 s"},
        {"set 4.2 V 0.5 A until CV timeout 0 s", "line 7:34: a timeout must last longer than 0"},
        {"set 4.2 V 0.5 A for 1 s and more", "line 7:25: unexpected and after the step"},
        {"rest", "line 7:5: expected a duration such as 10 s"},
        {"sweep X 0 V to 1 V step 1 V current 1 A dwell 1 s",
         "line 7:7: expected V or I: what the sweep steps"},
        {"sweep V 0 V to 5 V step 0 V current 0.3 A dwell 2 s",
         "line 7:25: the sweep's step must be above 0"},
        {"sweep V 0 V to 5 V step 0.1 mV current 0.3 A dwell 2 s",
         "line 7:25: 0.1 is finer than 1 mV"},
        {"sweep V 0 V to 20 V step 1 mV current 0.3 A dwell 2 s",
         "line 7:26: a sweep of more than 10000 points"},
        {"sweep V 0 V to 5 V step 0.5 V voltage 0.3 A dwell 2 s", "line 7:31: expected `current`"},
        {"sweep I 0 A to 1 A step 0.1 A voltage 12 V", "line 7:43: expected `dwell`"},
        {"repeat", "line 7:7: expected how many times, a whole number from 1 to 1000000"},
        {"repeat 0", "line 7:8: expected how many times, a whole number from 1 to 1000000"},
        {"repeat 2.5", "line 7:8: expected how many times, a whole number from 1 to 1000000"},
        {"repeat 1000001", "line 7:8: expected how many times, a whole number from 1 to 1000000"},
        {"end now", "line 7:5: unexpected now after the step"},
        {"set 4.2 V \x01 0.5 A", "line 7:11: unexpected character 0x01"},
        {"rest 1 s \xc3\xa9", "line 7:10: unexpected character 0xc3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseOne(c.line), QString::fromUtf8(c.problem)) << c.line;
}

QStringList Problems(const QByteArray& text) {
    QStringList problems;
    for (const RunProblem& p : ParseRun(text).problems)
        problems << p.text();
    return problems;
}

TEST(RunFile, MatchesRepeatsWithTheirEndsUpToFourDeep) {
    const struct {
        const char* name;
        QByteArray text;
        QStringList problems;
    } cases[] = {
        {"nested", "repeat 2\n repeat 3\n  rest 1 s\n end\nend\n", {}},
        {"four deep", "repeat 2\nrepeat 2\nrepeat 2\nrepeat 2\nrest 1 s\nend\nend\nend\nend\n", {}},
        {"five deep",
         "repeat 2\nrepeat 2\nrepeat 2\nrepeat 2\nrepeat 2\nrest 1 s\nend\nend\nend\nend\nend\n",
         {"line 5:1: repeats nest at most 4 deep"}},
        {"end alone", "rest 1 s\nend\n", {"line 2:1: `end` without a `repeat`"}},
        {"unterminated",
         "rest 1 s\nrepeat 3\nrest 1 s\n",
         {"line 2:1: `repeat` without its `end`"}},
        {"empty", "repeat 3\nend\n", {"line 2:1: a repeat with no step inside"}},
        {"a refused repeat still opens its block",
         "repeat x\nrest 1 s\nend\n",
         {"line 1:8: expected how many times, a whole number from 1 to 1000000"}},
        {"comments only", "# nothing\n\n  # at all\n", {"line 1:1: the file holds no step"}},
        {"empty file", "", {"line 1:1: the file holds no step"}},
        {"line ends of every kind",
         "rest 1 s\r\nrest 2 s\rrest 3 s\nbad\n",
         {"line 4:1: expected a step: set, rest, sweep, repeat or end"}},
        {"binary", QByteArray("rest 1 s\n\0\xff\x7f", 12), {"line 2:1: unexpected character 0x00"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Problems(c.text), c.problems) << c.name;

    QByteArray hundred;
    for (int i = 0; i < 100; ++i)
        hundred += "repeat 2\n";
    hundred += "rest 1 s\n";
    EXPECT_EQ(
        Problems(hundred),
        QStringList({"line 1:1: `repeat` without its `end`", "line 2:1: `repeat` without its `end`",
                     "line 3:1: `repeat` without its `end`", "line 4:1: `repeat` without its `end`",
                     "line 5:1: repeats nest at most 4 deep"}));
}

TEST(RunFile, AnyFileComesToAVerdictNamingTheLine) {
    const struct {
        const char* name;
        QByteArray text;
        const char* first;
    } cases[] = {
        {"a million lines", QByteArray("rest 1 s\n").repeated(1'000'000),
         "line 10001:1: a run file holds at most 10000 lines"},
        {"a line of a megabyte", "rest 1 s\n" + QByteArray(1'000'000, '1') + "\n",
         "line 2:4097: a line of a run file holds at most 4096 characters"},
        {"past a mebibyte",
         QByteArray("rest 1 s    # padding the line out to eighty characters "
                    "for the size of it\n")
             .repeated(20'000),
         "line 10001:1: a run file holds at most 10000 lines"},
        {"a mebibyte in long lines", (QByteArray(4000, ' ') + "rest 1 s\n").repeated(300),
         "line 262:1: the file goes past 1 MiB on this line: a run file holds at most 1 MiB"},
        {"binary", QByteArray(5000, '\0'),
         "line 1:4097: a line of a run file holds at most 4096 characters"},
    };
    for (const auto& c : cases) {
        const QStringList problems = Problems(c.text);
        ASSERT_FALSE(problems.isEmpty()) << c.name;
        EXPECT_EQ(problems.first(), c.first) << c.name;
    }
    // Problems past fifty are cut short, with a last one saying so.
    RunVerdict many = CheckRunText(QByteArray("bad\n").repeated(200), {});
    ASSERT_EQ(many.problems.size(), kMaxRunProblems + 1);
    EXPECT_EQ(many.problems.last().text(), "line 51:1: and more problems from here on, not listed");
}

DoorCheck SmallModelDoor(std::optional<int> userVolts = {}) {
    UserLimits user;
    if (userVolts) user.voltage = Millivolts(*userVolts);
    return ModelDoorCheck(Model::Small1A20V, user);
}

TEST(RunCheck, RefusesWhatTheDoorWouldAndConditionsThatCanNeverHold) {
    const struct {
        const char* text;
        std::optional<int> userVolts;
        QStringList problems;
    } cases[] = {
        {"set 4.2 V 0.5 A until I < 0.05 A", {}, {}},
        {"set 21 V 0.5 A for 1 s",
         {},
         {"line 1:5: 21 V 0.5 A: voltage 21.0 V is past the 1A/20V model's 20.0 V"}},
        {"set 20.04 V 1.002 A for 1 s", {}, {}}, // to the unit's steps first
        {"set 5 V 1.1 A for 1 s",
         {},
         {"line 1:5: 5 V 1.1 A: current 1.10 A is past the 1A/20V model's 1.00 A"}},
        {"rest 1 s\nset 12 V 0.5 A for 1 s",
         10000,
         {"line 2:5: 12 V 0.5 A: voltage 12.0 V is above your own limit of 10.0 V"}},
        {"sweep V 0 V to 25 V step 1 V current 0.3 A dwell 1 s",
         {},
         {"line 1:9: sweep point 25 V 0.3 A: voltage 25.0 V is past the 1A/20V model's 20.0 V"}},
        {"sweep I 1.5 A to 0 A step 0.5 A voltage 5 V dwell 1 s",
         {},
         {"line 1:9: sweep point 5 V 1.5 A: current 1.50 A is past the 1A/20V model's 1.00 A"}},
        {"set 4.2 V 0.5 A until I > 0.6 A or CV",
         {},
         {"line 1:23: I > 0.6 A can never hold: the step's current set-point is 0.5 A"}},
        {"set 4.2 V 0.5 A until I > 0.5 A", {}, {}},
        {"set 4.2 V 0.5 A until V > 4.3 V",
         {},
         {"line 1:23: V > 4.3 V can never hold: the step's voltage set-point is 4.2 V"}},
        {"set 4 V 0.5 A until P > 2.5 W",
         {},
         {"line 1:21: P > 2.5 W can never hold: the step's set-points give at most 2 W"}},
        {"set 4 V 0.5 A until I < 0 A",
         {},
         {"line 1:21: I < 0 A can never hold: no reading is below 0"}},
    };
    for (const auto& c : cases) {
        QStringList problems;
        for (const RunProblem& p : CheckRunText(c.text, {SmallModelDoor(c.userVolts)}).problems)
            problems << p.text();
        EXPECT_EQ(problems, c.problems) << c.text;
    }
    EXPECT_EQ(ModelDoorCheck(Model::None, {})(0, 0), "no model chosen");
}

TEST(RunCheck, AddsUpTheWorstCaseWithoutExpandingRepeats) {
    const struct {
        const char* text;
        const char* worstCase;
    } cases[] = {
        {"set 4.2 V 0.5 A until I < 0.05 A timeout 3 h\nrest 10 s\n"
         "sweep V 0 V to 5 V step 0.5 V current 0.3 A dwell 2 s\n"
         "repeat 3\n  set 5 V 0.1 A for 10 s\n  set 0 V 0 A for 5 s\nend\n",
         "03:01:17"},
        {"set 4.2 V 0.5 A until CV", "1 day 00:00:00"}, // the default timeout
        {"rest 1 ms", "00:00:01"},                      // rounded up to the second
        {"sweep V 0 V to 1 V step 0.3 V current 0.3 A dwell 1 s", "00:00:05"}, // 0, .3, .6, .9, 1
        {"repeat 1000000\nrepeat 1000\nrest 1 s\nend\nend", "11574 days 01:46:40"},
        {"repeat 1000000\nrepeat 1000000\nrepeat 1000000\nrepeat 1000000\nrest 1 h\nend\nend\nend\n"
         "end",
         "more than 100 years"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckRunText(c.text, {}).worstCaseText(), c.worstCase) << c.text;
    const RunVerdict endless = CheckRunText(cases[5].text, {});
    ASSERT_EQ(endless.problems.size(), 1);
    EXPECT_EQ(endless.problems.first().text(), "line 1:1: the run could take more than 100 years");
    RunCheckOptions hour;
    hour.defaultTimeoutMs = 3'600'000;
    EXPECT_EQ(CheckRunText("set 4.2 V 0.5 A until CV\nset 4.2 V 0.5 A until CC timeout 1 s", hour)
                  .worstCaseText(),
              "01:00:01");
    EXPECT_EQ(CheckRunText("rest 1 s\nrest x", {}).lines(),
              QStringList({"line 2:6: expected a duration such as 10 s", "verdict: 1 problem",
                           "worst case: 00:00:01"}));
}

TEST(RunSettings, ReadsTheTimeoutAndTheFramesOrKeepsTheDefaults) {
    const struct {
        const char* timeout;
        const char* frames;
        qint64 timeoutMs;
        int frameCount;
        QStringList problems;
    } cases[] = {
        {"", "", 24 * 3'600'000, 3, {}},
        {"3600", "5", 3'600'000, 5, {}},
        {"90 min", "1000", 5'400'000, 1000, {}},
        {"1.5 h", "1", 5'400'000, 1, {}},
        {"soon", "0", 24 * 3'600'000, 3, {"Timeout=soon", "Frames=0"}},
        {"0", "1001", 24 * 3'600'000, 3, {"Timeout=0", "Frames=1001"}},
        {"-5 s", "x", 24 * 3'600'000, 3, {"Timeout=-5 s", "Frames=x"}},
        {"10 s extra", "3", 24 * 3'600'000, 3, {"Timeout=10 s extra"}},
    };
    for (const auto& c : cases) {
        QStringList problems;
        const RunSettings s = ParseRunSettings(c.timeout, c.frames, &problems);
        EXPECT_EQ(s.defaultTimeoutMs, c.timeoutMs) << c.timeout;
        EXPECT_EQ(s.frames, c.frameCount) << c.frames;
        EXPECT_EQ(problems, c.problems) << c.timeout << " " << c.frames;
    }
}

TEST(RunText, ShowsValuesAsARunFileWritesThem) {
    const struct {
        QString shown;
        const char* expected;
    } cases[] = {
        {VoltsText(4200), "4.2 V"},
        {AmpsText(50), "0.05 A"},
        {AmpsText(1000), "1 A"},
        {WattsText(1), "0.001 W"},
        {WrittenDuration(10'800'000), "3 h"},
        {WrittenDuration(5'400'000), "90 min"},
        {WrittenDuration(1500), "1.5 s"},
        {WrittenDuration(250), "250 ms"},
        {WrittenDuration(1001), "1001 ms"},
        {SecondsText(22'449'000'000), "22.4 s"},
        {ChargeText(0.0019178), "1.918 mAh"},
        {ChargeText(1.5), "1.5000 Ah"},
        {EnergyText(0.0079), "7.900 mWh"},
        {LongDurationText(3 * 86'400'000 + 1), "3 days 00:00:01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shown, c.expected);
}

} // namespace
} // namespace velmora
