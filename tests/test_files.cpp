// The line reader shared by the player and velmora-files, and the check,
// retime and plan commands: tables of input lines and what comes out.

#include "files/check.h"
#include "files/plan.h"
#include "files/retime.h"
#include "playback/playback_plan.h"
#include "playback/playback_rules.h"
#include "recording/line_reader.h"
#include "recording/wall_time.h"
#include "support/files.h"
#include "support/print_qt.h"

#include "support/print_qt.h"
#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using test::Outcome;
using test::RunCommand;

namespace {

QList<QByteArray> ReadAll(const QByteArray& bytes, LongLines longLines) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer, longLines);
    QList<QByteArray> lines;
    while (const auto line = reader.next())
        lines.append(*line);
    EXPECT_TRUE(reader.atEnd());
    return lines;
}

qint64 Moment(const char* text) {
    return *ParseMoment(QString::fromLatin1(text));
}

class FilesTest : public ::testing::Test {
  protected:
    QString Write(const char* name, const QByteArray& contents) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return file.fileName();
    }
    QByteArray Contents(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QTemporaryDir dir;
};

const QByteArray kRecord = "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"";

} // namespace

TEST(LineReader, TakesLfCrLfAndCrAloneAsLineEnds) {
    using L = QList<QByteArray>;
    // Lines "x" up to a CR that is the last byte of the reader's first read.
    const QByteArray chunkEnd = QByteArray("x\n").repeated(32 * 1024 - 1) + "y\r";
    const L chunkLines = L(32 * 1024 - 1, "x") << "y";
    const QByteArray longLine = QByteArray(70'000, 'x') + "y";
    const struct {
        QByteArray bytes;
        L lines;
        LongLines longLines = LongLines::Emptied;
    } cases[] = {
        {"", L{}},
        {"a\r\nb\r\n", L{"a", "b"}},
        {"a\nb\n", L{"a", "b"}},
        {"a\rb\r", L{"a", "b"}},
        {"a\rb", L{"a", "b"}},
        {"a\r\r\nb", L{"a", "", "b"}},
        {"a\n\rb", L{"a", "", "b"}},
        {"\r\n", L{""}},
        {"\r\r", L{"", ""}},
        // A CR LF split across two reads is still one line end.
        {chunkEnd + "\nb", L(chunkLines) << "b"},
        {chunkEnd + "\rb", L(chunkLines) << ""
                                         << "b"},
        // Longer than any record: read to its end and given back empty.
        {QByteArray(20'000, 'x') + "\rnext", L{"", "next"}},
        {QByteArray(4096, 'x') + "\n", L{QByteArray(4096, 'x')}},
        {QByteArray(10'000, 'x') + "\r\nnext\r\n" + QByteArray(9000, 'y'), L{"", "next", ""}},
        // Or whole, for a copy; across reads, with any line end.
        {QByteArray(20'000, 'x') + "\rnext", L{QByteArray(20'000, 'x'), "next"}, LongLines::Kept},
        {longLine + "\r\n" + longLine, L{longLine, longLine}, LongLines::Kept},
        {QByteArray(4097, 'x') + "\n\n", L{QByteArray(4097, 'x'), ""}, LongLines::Kept},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.left(20).toHex().toStdString());
        EXPECT_EQ(ReadAll(c.bytes, c.longLines), c.lines);
    }
}

TEST(PlaybackRules, VerdictsPerLineForBothModels) {
    using M = Model;
    const struct {
        QByteArray line;
        Model model;
        const char* verdict; // the command as shown, or why the line is skipped
        bool skippedAtOnce;
        UserLimits limits = {}; // the user's own
    } cases[] = {
        {kRecord, M::Small1A20V, "past the model's range", false},
        {kRecord, M::Large2A5_25V, "123 123", false},
        {"#2024-03-06#,\"05.0V\",\"0.40A\"", M::Small1A20V, "050 080", false},
        {"#2024-03-06#,\"05,0V\",\"0,05A\"", M::Large2A5_25V, "050 005", false},
        {"#2024-03-06#,\"25.0V\",\"2.50A\"", M::Small1A20V, "past the model's range", false},
        {"#2024-03-06#,\"20.0V\",\"1.00A\"", M::Small1A20V, "200 200", false},
        {"#2024-03-06#,\"25.1V\",\"0.00A\"", M::Large2A5_25V, "past the model's range", false},
        {"#2024-03-06#,\"12.3V\",\"5.00A\"", M::Small1A20V, "command would be 9 characters", false},
        {"#2024-03-06#,\"12.3V\",\"5.00A\"", M::Large2A5_25V, "past the model's range", false},
        {"#2024-03-06#,\"12.3V\",\"0.60A\"",
         M::Small1A20V,
         "above your own limit for the model (settings group \"Limits\")",
         false,
         {Millivolts(12000), {}}},
        {kRecord,
         M::Large2A5_25V,
         "above your own limit for the model (settings group \"Limits\")",
         false,
         {{}, Milliamps(1200)}},
        {kRecord, M::Large2A5_25V, "123 123", false, {Millivolts(12300), Milliamps(1230)}},
        {"#2024-03-06#,\"12.3V\",\"1.23A\"", M::None,
         "no model chosen (the player shows \"Power supply version not defined.\")", false},
        {"#2024-03-06#,\"1x.3V\",\"1.23A\"", M::Small1A20V,
         "voltage is not two digits, a separator and a digit", true},
        {"#2024-03-06#,\"12.3V\",\"1.2\"", M::Large2A5_25V,
         "current is not a digit, a separator and two digits", true},
        {"", M::Small1A20V, "cannot be read", true},
        {"#2024-02-30#,\"12.3V\",\"1.23A\"", M::Small1A20V, "cannot be read", true},
        {"#2024-03-06 24:00:00#,\"12.3V\",\"1.23A\"", M::Large2A5_25V, "cannot be read", true},
        {"2024-03-06,\"12.3V\",\"1.23A\"", M::Large2A5_25V, "cannot be read", true},
        {"#2024-03-06#,\"12.3V\"", M::Large2A5_25V, "cannot be read", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const RecordVerdict verdict = JudgeRecordLine(c.line, c.model, c.limits);
        EXPECT_EQ(verdict.command ? ShowCommand(*verdict.command) : SkipReasonText(verdict),
                  QString::fromLatin1(c.verdict));
        EXPECT_EQ(verdict.skippedAtOnce, c.skippedAtOnce);
    }
}

TEST(Check, SaysWhenARecordGoesOut) {
    const qint64 now = Moment("2026-12-07 12:00:00");
    const struct {
        const char* stamp;
        const char* goesOut;
        const char* when;
    } cases[] = {
        {"2026-12-05 12:00:00", "2026-12-05 12:00:00", "at once (due 2 days ago)"},
        {"2026-12-07 11:59:50", "2026-12-07 11:59:50", "at once (due 10 s ago)"},
        {"2026-12-07 12:00:00", "2026-12-07 12:00:00", "at once (due now)"},
        {"2026-12-07 12:00:10", "2026-12-07 12:00:10", "in 00:00:10"},
        {"2026-12-08 11:59:59", "2026-12-08 11:59:59", "in 23:59:59"},
        {"2027-01-01 00:00:00", "2027-01-01 00:00:00", "at 2027-01-01 00:00:00 (in 25 days)"},
        {"2026-12-07 12:00:05", "2026-12-07 12:00:10",
         "in 00:00:10, right after the record before"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeWhen(Moment(c.stamp), Moment(c.goesOut), now), c.when) << c.stamp;
}

TEST_F(FilesTest, CheckListsWarnsSumsUpAndExits) {
    const QString ctl = Write("ctl.dat", "#2026-12-07 12:00:10#,\"05.0V\",\"0.40A\"\r"
                                         "#2026-12-07 12:00:05#,\"05.0V\",\"1.50A\"\n"
                                         "garbage\r\n"
                                         "#2026-12-09 12:00:00#,\"30.0V\",\"0.10A\"\r\n");
    const QStringList now = {"--now", "2026-12-07 12:00:00"};
    const Outcome small = RunCommand(RunCheck, QStringList{ctl, "--model", "1A/20V"} << now);
    EXPECT_EQ(small.code, 1);
    for (const char* expected : {
             "line 1: 050 080 in 00:00:10\n",
             "line 2: skipped in 00:00:10, right after the record before, past the model's "
             "range\n",
             "line 3: skipped, cannot be read\n",
             "line 4: skipped at 2026-12-09 12:00:00 (in 2 days), past the model's range\n",
             "warning: line 2: time stamp 2026-12-07 12:00:05 is before 2026-12-07 12:00:10",
             "warning: line 4: due more than a day ahead",
             "summary: 4 lines, 1 command to send, 3 skipped, on 1A/20V",
             "summary: first due 2026-12-07 12:00:10, last due 2026-12-07 12:00:10",
         })
        EXPECT_TRUE(small.out.contains(QLatin1StringView(expected))) << expected << "\n"
                                                                     << small.out.toStdString();
    const Outcome large = RunCommand(RunCheck, QStringList{ctl, "--model", "2,5A/25V"} << now);
    EXPECT_TRUE(large.out.contains("line 2: 050 150 in"));
    EXPECT_TRUE(large.out.contains("line 4: skipped at 2026-12-09 12:00:00 (in 2 days), past the "
                                   "model's range"));

    const QString past = Write("past.dat", kRecord + "\r\n" + kRecord + "\r\n");
    const Outcome allPast = RunCommand(RunCheck, QStringList{past, "--model", "2,5A/25V"} << now);
    EXPECT_EQ(allPast.code, 0);
    EXPECT_TRUE(allPast.out.contains("warning: every record is past due: the player sends all 2 "
                                     "commands at once, back to back"));
    EXPECT_TRUE(allPast.out.contains("the run takes about 00:00:01"));

    const Outcome missing = RunCommand(RunCheck, {dir.filePath("none.dat")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err.count('\n'), 1);
    EXPECT_EQ(RunCommand(RunCheck, {dir.path()}).code, 2);
    EXPECT_EQ(RunCommand(RunCheck, {ctl, "--model", "3A/30V"}).code, 2);
}

TEST(Retime, KeepsSpacingAndFormatAcrossMidnight) {
    const qint64 start = Moment("2026-12-31 23:59:50");
    const struct {
        QByteArray line;
        qint64 moment;
        QByteArray retimed;
    } cases[] = {
        {kRecord, start, "#2026-12-31 23:59:50#,\"12.3V\",\"1.23A\""},
        {kRecord, start + 10, "#2027-01-01#,\"12.3V\",\"1.23A\""},
        {"#2024-03-06#,\"05,0V\",\"0,40A\"", start + 11,
         "#2027-01-01 00:00:01#,\"05,0V\",\"0,40A\""},
        {" #2024-03-06# , 05.0V ,\"0.40A\"", start, " #2026-12-31 23:59:50# , 05.0V ,\"0.40A\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetimeLine(c.line, c.moment), c.retimed) << c.line.toStdString();
    EXPECT_FALSE(RetimeLine("garbage", start));
    EXPECT_FALSE(RetimeLine(kRecord, Moment("9999-12-31 23:59:59") + 1));
}

TEST_F(FilesTest, RetimeMovesTheFirstRecordToTheStart) {
    // Lines too long to be records, one of them a record padded out, which
    // the player skips too.
    const QByteArray note = "note " + QByteArray(100'000, '-');
    const QByteArray padded =
        "#2024-03-06 00:00:30#," + QByteArray(5000, ' ') + "\"09.0V\",\"0.90A\"";
    const QString rec = Write("rec.log", "#2024-03-05 23:59:58#,\"01.0V\",\"0.10A\"\r\n"
                                         "not a record\r"
                                         "#2024-03-06#,\"02.0V\",\"0.20A\"\n" +
                                             note + "\n" + padded +
                                             "\r\n"
                                             "#2024-03-06 00:01:00#,\"03.0V\",\"0.30A\"\r\n");
    const QString out = dir.filePath("out.dat");
    const Outcome run = RunCommand(RunRetime, {rec, "--start", "2027-01-01 00:00:00", "-o", out});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "kept 3 of 6 lines as they were: they are not records\n");
    const QByteArray retimed = "#2027-01-01#,\"01.0V\",\"0.10A\"\r\n"
                               "not a record\r\n"
                               "#2027-01-01 00:00:02#,\"02.0V\",\"0.20A\"\r\n" +
                               note + "\r\n" + padded +
                               "\r\n"
                               "#2027-01-01 00:01:02#,\"03.0V\",\"0.30A\"\r\n";
    EXPECT_EQ(Contents(out), retimed);
    EXPECT_EQ(RunCommand(RunRetime, {rec, "--start", "2027-01-01 00:00:00"}).out,
              QString::fromLatin1(retimed));
    EXPECT_EQ(RunCommand(RunRetime, {rec}).code, 2);
    EXPECT_EQ(RunCommand(RunRetime, {Write("empty", ""), "--in", "5"}).code, 1);
}

TEST(Plan, ReadsStepsAndRefusesWhatAControlFileCannotCarry) {
    const struct {
        QByteArray line;
        PlanLine parsed;
    } cases[] = {
        {"5.0 0.40 10", PlanStep{50, 40, 10}},
        {"  12.3\t1,5 5  # hold", PlanStep{123, 150, 5}},
        {"5 0 1", PlanStep{50, 0, 1}},
        {"99.90 9.990 3600", PlanStep{999, 999, 3600}},
        {"", NoStep{}},
        {"# a comment", NoStep{}},
        {"5.05 0.40 10", QStringLiteral("voltage \"5.05\" does not fit a control file: 0.0 to "
                                        "99.9 V, one decimal")},
        {"100 0.40 10", QStringLiteral("voltage \"100\" does not fit a control file: 0.0 to 99.9 "
                                       "V, one decimal")},
        {"5.0 0.405 10", QStringLiteral("current \"0.405\" does not fit a control file: 0.00 to "
                                        "9.99 A, two decimals")},
        {"5.0 10 10", QStringLiteral("current \"10\" does not fit a control file: 0.00 to 9.99 "
                                     "A, two decimals")},
        {"-5.0 0.40 10", QStringLiteral("voltage \"-5.0\" does not fit a control file: 0.0 to "
                                        "99.9 V, one decimal")},
        {"5.0 0.40 1.5",
         QStringLiteral("time \"1.5\" is not a whole number of seconds, 1 or more")},
        {"5.0 0.40 0", QStringLiteral("time \"0\" is not a whole number of seconds, 1 or more")},
        {"5.0 0.40", QStringLiteral("a step is three numbers: volts, amperes, seconds (5.0 0.40 "
                                    "10)")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePlanLine(c.line), c.parsed) << c.line.toStdString();
}

TEST_F(FilesTest, PlanPlaysBackAsTheListSays) {
    const QString list = Write("list.txt", "# warm-up\r5.0 0.40 10\n12.3 1.5 5\r\n0 0 1\n");
    const QString out = dir.filePath("plan.dat");
    const Outcome run =
        RunCommand(RunPlan, {list, "--start", "2026-12-31 23:59:50", "--repeat", "2", "-o", out});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    // Read back as the player reads it: its line reader and its rules.
    QList<RecordVerdict> verdicts;
    const PlanReading reading =
        ReadPlaybackPlan(out, PlanInputs{Model::Large2A5_25V, {}, 0, std::nullopt},
                         [&verdicts](int, const RecordVerdict& v) { verdicts.append(v); });
    ASSERT_TRUE(reading.plan) << reading.error.toStdString();
    ASSERT_EQ(verdicts.size(), 6);
    const QList<PlanStep> steps = {{50, 40, 10}, {123, 150, 5}, {0, 0, 1}};
    qint64 due = Moment("2026-12-31 23:59:50");
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const RecordVerdict& verdict = verdicts[i];
        ASSERT_TRUE(verdict.command);
        const PlanStep& step = steps[i % 3];
        EXPECT_EQ(WallSeconds(verdict.record->date, verdict.record->time), due);
        EXPECT_EQ(*verdict.command,
                  QString::asprintf("%03d\r%03d\r", step.decivolts, step.centiamps).toLatin1());
        due += step.seconds;
    }
    EXPECT_TRUE(Contents(out).contains("#2027-01-01#,\"12.3V\",\"1.50A\"\r\n"));

    const Outcome refused =
        RunCommand(RunPlan, {Write("bad.txt", "5.0 0.40 10\n5.05 1 1\n"), "--in", "0"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.startsWith("velmora-files plan: line 2: voltage \"5.05\""));
    EXPECT_EQ(RunCommand(RunPlan, {Write("none.txt", "# nothing\n"), "--in", "0"}).code, 1);
    EXPECT_EQ(RunCommand(RunPlan, {list, "--in", "0", "--repeat", "0"}).code, 2);
}

TEST_F(FilesTest, CheckOfARunFileGivesTheVerdictAndTheWorstCase) {
    const QByteArray charge = "# Charge one cell.\n"
                              "set 4.2 V 0.5 A until I < 0.05 A timeout 3 h\n"
                              "rest 10 s\n"
                              "sweep V 0 V to 5 V step 0.5 V current 0.3 A dwell 2 s\n"
                              "repeat 3\n  set 5 V 0.1 A for 10 s\n  set 0 V 0 A for 5 s\nend\n";
    const struct {
        const char* name;
        QByteArray text;
        QStringList args;
        int code;
        const char* out;
    } cases[] = {
        {"charge.run", charge, {}, 0, "checked for 1A/20V\nverdict: ok\nworst case: 03:01:17\n"},
        {"high.RUN",
         "set 21 V 0.5 A for 1 s\nset 4 V 2 A until I > 2.5 A\n",
         {"--model", "1A/20V"},
         1,
         "checked for 1A/20V\n"
         "line 1:5: 21 V 0.5 A: voltage 21.0 V is past the 1A/20V model's 20.0 V\n"
         "line 2:5: 4 V 2 A: current 2.00 A is past the 1A/20V model's 1.00 A\n"
         "line 2:19: I > 2.5 A can never hold: the step's current set-point is 2 A\n"
         "verdict: 3 problems\nworst case: 1 day 00:00:01\n"},
        {"large.run",
         "set 21 V 2 A for 1 s\n",
         {"--model", "2.5A/25V"},
         0,
         "checked for 2,5A/25V\nverdict: ok\nworst case: 00:00:01\n"},
        {"binary.run",
         QByteArray("\0\1\2", 3),
         {},
         1,
         "checked for 1A/20V\nline 1:1: unexpected character 0x00\nverdict: 1 problem\n"
         "worst case: 00:00:00\n"},
        {"open.run",
         "repeat 2\nrest 1 s\n",
         {},
         1,
         "checked for 1A/20V\nline 1:1: `repeat` without its `end`\nverdict: 1 problem\n"
         "worst case: 00:00:01\n"},
    };
    for (const auto& c : cases) {
        const Outcome run = RunCommand(RunCheck, QStringList{Write(c.name, c.text)} << c.args);
        EXPECT_EQ(run.code, c.code) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_TRUE(run.err.isEmpty()) << c.name;
    }
    const QStringList unreadable[] = {{dir.filePath("none.run")},
                                      {dir.path() + "/folder.run"},
                                      {Write("now.run", charge), "--now", "2027-01-01 00:00:00"},
                                      {Write("model.run", charge), "--model", "3A/30V"}};
    QDir(dir.path()).mkdir("folder.run");
    for (const QStringList& args : unreadable) {
        const Outcome run = RunCommand(RunCheck, args);
        EXPECT_EQ(run.code, 2) << args.join(' ').toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}
