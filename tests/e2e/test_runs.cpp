// Runs of the real bench with no window against the simulated unit: a cell
// charged at constant current to its cut-off, a sweep, and a run started and
// followed by remote control; each leaves its report.

#include "e2e/headless.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

// The charge of a 2 mAh cell from 3.0 V to 4.2 V through 1 ohm, at 4.2 V and
// 0.5 A until 0.05 A, then a sweep over a resistive part.
constexpr char kCharge[] = "# charge, then rest\n"
                           "set 4.2 V 0.5 A until I < 0.05 A timeout 1 min\n"
                           "rest 1 s\n";
constexpr char kSweep[] = "sweep V 0 V to 2 V step 0.5 V current 0.3 A dwell 0.5 s\n";

// The report folder a run's "report in …" line on standard error names.
QString ReportFolder(const QByteArray& said) {
    const qsizetype at = said.indexOf("velmora: report in ");
    if (at < 0) return {};
    return QString::fromUtf8(said.mid(at + 19, said.indexOf('\n', at) - at - 19));
}

TEST(Runs, AChargeEndsOnItsCutOffWithoutAWindow) {
    Session bench({"--cell", "2:3.0:4.2:1", "--settle", "0"});
    ASSERT_TRUE(WriteFile(bench.path("charge.run"), kCharge));
    ASSERT_TRUE(bench.startProgram({"--headless", "--run", bench.path("charge.run")},
                                   "[Remote]\nEnabled=false\n"));
    EXPECT_EQ(bench.waitForPanelExit(90s), 0) << bench.panelErrors().toStdString();
    const QByteArray said = bench.panelErrors();
    for (const char* line :
         {"velmora: step 1 started: set 4.2 V 0.5 A until I < 0.05 A timeout 1 min (line 2)",
          "velmora: step 1 ended: I < 0.05 A held 3 frames at ",
          "velmora: step 2 started: rest 1 s", "velmora: run done"})
        EXPECT_TRUE(said.contains(line)) << line << "\n" << said.toStdString();
    EXPECT_EQ(bench.nextCommand(), QByteArray("042 100"));
    EXPECT_TRUE(bench.waitForCommand("000 000", 2s)) << "the rest, and the end: the unit at zero";

    const QString report = ReportFolder(said);
    ASSERT_TRUE(QFileInfo(report).isDir()) << said.toStdString();
    EXPECT_EQ(QFileInfo(report).absolutePath(), QFileInfo(bench.recordFile()).absolutePath());
    const QJsonObject summary =
        QJsonDocument::fromJson(ReadFile(report + "/summary.json")).object();
    EXPECT_EQ(summary["outcome"].toString(), "done");
    const QByteArray rows = ReadFile(report + "/measurements.csv");
    EXPECT_TRUE(rows.startsWith(
        "time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation\n"));
    EXPECT_GT(rows.count('\n'), 200) << "a row a readable frame, 22 s of them";
    // The pictures come from velmora-files, a moment after the run's end.
    EXPECT_TRUE(WaitUntil([&] { return QFile::exists(report + "/plot.png"); }, 20s));
    EXPECT_TRUE(QFile::exists(report + "/plot.svg"));
}

TEST(Runs, ASweepAndARefusedRunGiveTheirStatuses) {
    Session bench;
    ASSERT_TRUE(WriteFile(bench.path("sweep.run"), kSweep));
    ASSERT_TRUE(bench.startProgram({"--headless", "--run", bench.path("sweep.run")},
                                   "[Remote]\nEnabled=false\n"));
    EXPECT_EQ(bench.waitForPanelExit(60s), 0) << bench.panelErrors().toStdString();
    const QString report = ReportFolder(bench.panelErrors());
    const QList<QByteArray> points = ReadFile(report + "/sweep-1.csv").trimmed().split('\n');
    ASSERT_EQ(points.size(), 6) << report.toStdString();
    EXPECT_EQ(points[0], "set,voltage_V,current_A,power_W,regulation");
    EXPECT_EQ(points[5], "2,2.000,0.2000,0.4000,CV") << "2 V over the unit's 10 ohms";

    Session refused;
    ASSERT_TRUE(WriteFile(refused.path("high.run"), "set 21 V 0.5 A for 1 s\n"));
    ASSERT_TRUE(refused.startProgram({"--headless", "--run", refused.path("high.run")},
                                     "[Remote]\nEnabled=false\n"));
    EXPECT_EQ(refused.waitForPanelExit(20s), 2);
    EXPECT_TRUE(refused.panelErrors().contains(
        "refused: line 1:5: 21 V 0.5 A: voltage 21.0 V is past the 1A/20V model's 20.0 V"))
        << refused.panelErrors().toStdString();
    EXPECT_EQ(refused.nextCommand(500ms), QByteArray()) << "nothing sent";
}

TEST(Runs, RemoteControlRunsAChargeAndAnswersForIt) {
    HeadlessBench bench({"--cell", "2:3.0:4.2:1", "--settle", "0"});
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    const QString name = QStringLiteral("e2e-%1.run").arg(QCoreApplication::applicationPid());
    const QString path = QString(VELMORA_BIN_DIR) + '/' + name;
    ASSERT_TRUE(WriteFile(path, kCharge));
    ScpiLine remote(bench.port);
    remote.send("RUN:FILE \"" + name.toUtf8() + "\";STAT RUN");
    EXPECT_EQ(remote.ask("RUN:STAT?;STEP?"),
              "RUNNING;1,\"set 4.2 V 0.5 A until I < 0.05 A timeout 1 min\"");
    const bool done = WaitUntil([&] { return remote.ask("RUN:STAT?") != "RUNNING"; }, 90s);
    QFile::remove(path);
    ASSERT_TRUE(done);
    const QByteArray result = remote.ask("RUN:STAT?;RES?");
    EXPECT_TRUE(result.startsWith("DONE;DONE,\"e2e-")) << result.toStdString();
    EXPECT_EQ(remote.ask("SYST:ERR?"), "0,\"No error\"");
}

} // namespace
} // namespace velmora::e2e
