// A run's report: the rows of measurements.csv and sweep-<step>.csv, the
// folder's name, local times with their offset, summary.json, and the folder
// written as a run goes on a fake clock.

#include "runs/report_read.h"
#include "runs/report_text.h"
#include "runs/run_check.h"
#include "runs/run_engine.h"
#include "runs/run_report.h"
#include "support/fake_clock.h"
#include "support/files.h"
#include "support/print_qt.h"
#include "support/time_zone.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr Regulation CV = Regulation::ConstantVoltage;
constexpr Regulation CC = Regulation::ConstantCurrent;

TEST(RunReportText, RowsAsTheUnitShowsItsValues) {
    const struct {
        RunRow row;
        const char* text;
    } rows[] = {
        {{22'400'000'000, {42, 4}, 0.0019178, 0.0079123, 1, CV},
         "22.400,4.2,0.04,0.168,0.001918,0.007912,1,CV\n"},
        {{0, {0, 0}, 0, 0, 12, CC}, "0.000,0.0,0.00,0.000,0.000000,0.000000,12,CC\n"},
        {{1'234'567'890'123, {999, 999}, 12.5, 1234.5, 3, CV},
         "1234.568,99.9,9.99,998.001,12.500000,1234.500000,3,CV\n"},
        {{-5, {5, 50}, 0, 0, 1, CC}, "0.000,0.5,0.50,0.250,0.000000,0.000000,1,CC\n"},
    };
    EXPECT_EQ(MeasurementsHeader(),
              "time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation\n");
    for (const auto& c : rows)
        EXPECT_EQ(MeasurementRow(c.row), c.text);

    const struct {
        SweepPoint point;
        const char* text;
    } points[] = {
        {{500, 4, 0.5, 0.05, 0.025, CV}, "0.5,0.500,0.0500,0.0250,CV\n"},
        {{5000, 10, 4.96, 0.3, 1.488, CC}, "5,4.960,0.3000,1.4880,CC\n"},
        {{1250, 0, 0, 0, 0, CV}, "1.25,,,,\n"},
    };
    EXPECT_EQ(SweepHeader(), "set,voltage_V,current_A,power_W,regulation\n");
    for (const auto& c : points)
        EXPECT_EQ(SweepRow(c.point), c.text);
}

TEST(RunReportText, NamesTheFolderAndTellsLocalTimesWithTheirOffset) {
    const QDateTime start(QDate(2026, 12, 8), QTime(14, 30, 0));
    EXPECT_EQ(ReportFolderName("charge.run", start), "charge-20261208-143000");
    EXPECT_EQ(ReportFolderName("/home/me/runs/Cell.RUN", start), "Cell-20261208-143000");
    EXPECT_EQ(ReportFolderName("sweep", start), "sweep-20261208-143000");
    EXPECT_EQ(ReportFolderName(".run", start), "run-20261208-143000");

    const qint64 winter = QDateTime(QDate(2026, 12, 8), QTime(13, 30), Qt::UTC).toMSecsSinceEpoch();
    const qint64 summer =
        QDateTime(QDate(2026, 7, 1), QTime(10, 0, 0, 5), Qt::UTC).toMSecsSinceEpoch();
    const struct {
        const char* zone;
        qint64 ms;
        const char* text;
    } cases[] = {
        {"UTC", winter, "2026-12-08T13:30:00.000+00:00"},
        {"Europe/Berlin", winter, "2026-12-08T14:30:00.000+01:00"},
        {"Europe/Berlin", summer, "2026-07-01T12:00:00.005+02:00"},
        {"America/St_Johns", winter, "2026-12-08T10:00:00.000-03:30"},
    };
    for (const auto& c : cases) {
        test::TimeZoneForTest zone(c.zone);
        EXPECT_EQ(LocalTimeText(c.ms), c.text) << c.zone;
    }
}

TEST(RunReportText, SummaryJsonHoldsEveryFieldInItsOrder) {
    test::TimeZoneForTest zone("Europe/Berlin");
    const qint64 start = QDateTime(QDate(2026, 12, 8), QTime(13, 30), Qt::UTC).toMSecsSinceEpoch();
    RunSummary summary;
    summary.file = "charge \"1\".run";
    summary.sha256 = "ab12";
    summary.model = "1A/20V";
    summary.port = "COM2";
    summary.outcome.state = RunState::Done;
    summary.outcome.reason = "every step ended as the file says";
    summary.outcome.start.ms = start;
    summary.outcome.end.ms = start + 32'400;
    summary.outcome.totals.ampHours = 0.0019178;
    summary.outcome.totals.wattHours = 0.0079;
    summary.steps.push_back({1,
                             2,
                             "set 4.2 V 0.5 A until I < 0.05 A",
                             {0, start},
                             {0, start + 22'400},
                             "I < 0.05 A held 3 frames at 22.4 s, 1.918 mAh",
                             false,
                             0.0019178,
                             0.0079,
                             Values{42, 4}});
    summary.steps.push_back({2,
                             3,
                             "rest 10 s",
                             {0, start + 22'400},
                             {0, start + 32'400},
                             "rested 10 s",
                             false,
                             0,
                             0,
                             std::nullopt});
    EXPECT_EQ(SummaryJson(summary), R"({
  "file": "charge \"1\".run",
  "sha256": "ab12",
  "model": "1A/20V",
  "port": "COM2",
  "start": "2026-12-08T14:30:00.000+01:00",
  "end": "2026-12-08T14:30:32.400+01:00",
  "outcome": "done",
  "reason": "every step ended as the file says",
  "charge_Ah": 0.001918,
  "energy_Wh": 0.007900,
  "steps": [
    {
      "number": 1,
      "line": 2,
      "text": "set 4.2 V 0.5 A until I < 0.05 A",
      "start": "2026-12-08T14:30:00.000+01:00",
      "end": "2026-12-08T14:30:22.400+01:00",
      "reason": "I < 0.05 A held 3 frames at 22.4 s, 1.918 mAh",
      "charge_Ah": 0.001918,
      "energy_Wh": 0.007900,
      "last_voltage_V": 4.2,
      "last_current_A": 0.04
    },
    {
      "number": 2,
      "line": 3,
      "text": "rest 10 s",
      "start": "2026-12-08T14:30:22.400+01:00",
      "end": "2026-12-08T14:30:32.400+01:00",
      "reason": "rested 10 s",
      "charge_Ah": 0.000000,
      "energy_Wh": 0.000000,
      "last_voltage_V": null,
      "last_current_A": null
    }
  ]
}
)");
    summary.steps.clear();
    summary.outcome.state = RunState::Running;
    summary.file = QString::fromUtf8("tab\there\x01\xc3\xa9.run");
    const QByteArray running = SummaryJson(summary);
    EXPECT_TRUE(running.contains("\"file\": \"tab\\u0009here\\u0001\xc3\xa9.run\",\n"))
        << running.constData();
    EXPECT_TRUE(running.contains("\"end\": null,\n"));
    EXPECT_TRUE(running.contains("\"outcome\": \"running\",\n"));
    EXPECT_TRUE(running.endsWith("\"steps\": []\n}\n"));
}

TEST(RunReport, WritesTheFolderAsTheRunGoes) {
    test::FakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(14, 30)));
    QTemporaryDir parent;
    RunReport report(clock);
    QString why;
    ASSERT_TRUE(
        report.open(parent.path() + "/reports", {"charge.run", "ab12", "1A/20V", "COM2"}, &why))
        << why.toStdString();
    EXPECT_EQ(QDir(report.folder()).dirName(), "charge-20261208-143000");
    RunReport second(clock);
    ASSERT_TRUE(second.open(parent.path() + "/reports", {"charge.run", "", "", ""}));
    EXPECT_EQ(QDir(second.folder()).dirName(), "charge-20261208-143000-2");
    EXPECT_TRUE(
        test::ReadFile(report.folder() + "/summary.json").contains("\"outcome\": \"running\""));

    std::vector<std::function<void()>> waiting;
    RunEngine engine(clock, {[&](int, int, std::function<void()> sent) {
                                 waiting.push_back(std::move(sent));
                                 return QString();
                             },
                             [] {}, [](const RunEvent&) {}});
    const RunVerdict verdict = CheckRunText(
        "set 4.2 V 0.5 A until I < 0.05 A\nsweep I 0.1 A to 0.2 A step 0.1 A voltage 5 V "
        "dwell 1 s\n",
        {});
    ASSERT_TRUE(engine.start(verdict.program, &report));
    for (int i = 0; i < 40 && engine.state() == RunState::Running; ++i) {
        for (auto& sent : std::exchange(waiting, {}))
            sent();
        clock.advanceMs(250);
        engine.take({clock.monotonicNs(), clock.epochMs(), Values{42, i < 2 ? 50 : 4}, CV});
        if (i == 2) engine.take({clock.monotonicNs(), clock.epochMs(), std::nullopt, CV});
    }
    ASSERT_EQ(engine.state(), RunState::Done);
    const QByteArray rows = test::ReadFile(report.folder() + "/measurements.csv");
    EXPECT_TRUE(rows.startsWith(MeasurementsHeader() +
                                "0.250,4.2,0.50,2.100,0.000000,0.000000,1,CV\n"
                                "0.500,4.2,0.50,2.100,0.000035,0.000146,1,CV\n"
                                "0.750,4.2,0.04,0.168,0.000053,0.000225,1,CV\n"))
        << rows.constData();
    EXPECT_EQ(rows.count('\n'), 1 + 12); // the unreadable frame has no row
    EXPECT_EQ(test::ReadFile(report.folder() + "/sweep-2.csv"),
              "set,voltage_V,current_A,power_W,regulation\n0.1,4.200,0.0400,0.1680,CV\n"
              "0.2,4.200,0.0400,0.1680,CV\n");
    const QByteArray summary = test::ReadFile(report.folder() + "/summary.json");
    EXPECT_TRUE(summary.contains("\"outcome\": \"done\"")) << summary.constData();
    EXPECT_TRUE(summary.contains("\"reason\": \"I < 0.05 A held 3 frames at 1.3 s, 0.059 mAh\""));
    EXPECT_TRUE(summary.contains("\"reason\": \"2 points swept, 0.017 mAh\""));
    EXPECT_TRUE(report.problems().isEmpty());
    EXPECT_EQ(ReportPictureArguments(report.folder()), QStringList({"report", report.folder()}));
    EXPECT_EQ(ReportPictureProgram("/usr/bin"), "/usr/bin/velmora-files");

    RunReport nowhere(clock);
    EXPECT_FALSE(nowhere.open("/proc/no/such", {"x.run", "", "", ""}, &why));
    EXPECT_EQ(why, "cannot make the folder /proc/no/such");
}

TEST(RunReportRead, ReadsRowsBackAndThinsThemToAnEnvelope) {
    const struct {
        const char* line;
        std::optional<MeasuredRow> row;
    } rows[] = {
        {"22.400,4.2,0.04,0.168,0.001918,0.007912,1,CV\n", MeasuredRow{22.4, 4.2, 0.04, 1}},
        {"0.000,0.0,0.00,0.000,0.000000,0.000000,12,CC", MeasuredRow{0, 0, 0, 12}},
        {"time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation", std::nullopt},
        {"1,2,3,4,5,6,7", std::nullopt},
        {"1,2,3,4,5,6,7,CV,9", std::nullopt},
        {"1,nan,3,4,5,6,7,CV", std::nullopt},
        {"1,2,3,4,5,6,x,CV", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : rows) {
        const auto row = ParseMeasuredRow(c.line);
        ASSERT_EQ(row.has_value(), c.row.has_value()) << c.line;
        if (!row) continue;
        EXPECT_EQ(std::tuple(row->seconds, row->volts, row->amps, row->step),
                  std::tuple(c.row->seconds, c.row->volts, c.row->amps, c.row->step));
    }

    QTemporaryDir dir;
    QByteArray text = MeasurementsHeader();
    for (int i = 0; i <= 1000; ++i)
        text += MeasurementRow(
            {i * 10'000'000LL, {i % 7 == 0 ? 50 : 42, 50}, 0, 0, i < 600 ? 1 : 3, CV});
    ASSERT_TRUE(test::WriteFile(dir.filePath("m.csv"), text + "not a row\n"));
    ReportCurves curves;
    EXPECT_FALSE(ReadMeasurements(dir.filePath("m.csv"), curves, 10));
    EXPECT_EQ(curves.rows, 1001);
    EXPECT_EQ(curves.leftOut, 1);
    EXPECT_EQ(curves.stepStarts, (std::vector<std::pair<double, int>>{{0, 1}, {6, 3}}));
    EXPECT_LE(curves.volts.size(), 22u);
    EXPECT_EQ(*std::max_element(curves.volts.begin(), curves.volts.end()), 5.0);
    EXPECT_EQ(*std::min_element(curves.volts.begin(), curves.volts.end()), 4.2);
    EXPECT_TRUE(std::is_sorted(curves.voltsAt.begin(), curves.voltsAt.end()));
    EXPECT_TRUE(ReadMeasurements(dir.filePath("none.csv"), curves).has_value());

    const SweepCurve sweep = ParseSweep(SweepHeader() + "1,1.000,0.1000,0.1000,CV\n2,,,,\n"
                                                        "3,2.500,0.3000,0.7500,CC\n",
                                        4);
    EXPECT_EQ(sweep.volts, (std::vector<double>{1.0, 2.5}));
    EXPECT_EQ(sweep.amps, (std::vector<double>{0.1, 0.3}));
    EXPECT_EQ(sweep.constantCurrent, (std::vector<bool>{false, true}));
    EXPECT_EQ(StepLines("{\"steps\": [{\"number\": 2, \"text\": \"rest 1 s\"}]}"),
              (QMap<int, QString>{{2, "rest 1 s"}}));
    EXPECT_TRUE(StepLines("not json").isEmpty());
}

} // namespace
} // namespace velmora
