// The meters and the trips of the real bench with no window against the
// simulated unit: the charge and energy it counts against what the unit
// really sent, and a trip told on standard error.

#include "e2e/headless.h"
#include "support/frames_log_meters.h"

#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

// The frames log needs its folder before the unit starts.
struct LogFolder {
    QTemporaryDir dir;
    QString log() const { return dir.filePath("frames.log"); }
};

struct MeteredBench : LogFolder, HeadlessBench {
    MeteredBench()
        : HeadlessBench({"--load", "10", "--rate", "10", "--settle", "0", "--frames-log",
                         log().toStdString()}) {}
};

// 5 V into 10 ohms for a minute. The meters are reset once the output has
// settled, and the frames the unit logged between the reset's answer and
// the query are integrated the program's way: both cover the same stretch
// but for a frame at either end (0.17 % of the minute each).
TEST(Meters, ChargeAndEnergyOverAMinuteMatchWhatTheUnitSent) {
    MeteredBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ScpiLine remote(bench.port);
    ASSERT_TRUE(remote.connected());
    EXPECT_EQ(remote.ask("APPL 5,1;*OPC?"), "1");
    ASSERT_TRUE(WaitUntil([&] { return remote.ask("MEAS:VOLT?;CURR?") == "5.0;0.50"; }, 5s));
    Pause(300ms);
    ASSERT_EQ(remote.ask("SENS:AHO:RES;*OPC?"), "1");
    const qint64 from = test::MonotonicMs();
    Pause(60s);
    const qint64 to = test::MonotonicMs();
    const QList<QByteArray> answer = remote.ask("FETC:AHO?;WHO?;TIME?").split(';');
    ASSERT_EQ(answer.size(), 3);
    const MeterReadings unit =
        test::MetersOfFramesLog(test::FramesBetween(ReadFile(bench.log()), from, to)).readings();
    ASSERT_GT(unit.frames, 500);
    EXPECT_NEAR(answer[0].toDouble(), unit.ampHours, unit.ampHours * 0.005);
    EXPECT_NEAR(answer[1].toDouble(), unit.wattHours, unit.wattHours * 0.005);
    EXPECT_NEAR(answer[2].toDouble(), double(unit.runNs) / 1e9, 0.3);
    std::printf("program %s Ah %s Wh in %s s; unit %.6f Ah %.6f Wh in %.1f s, %lld frames\n",
                answer[0].constData(), answer[1].constData(), answer[2].constData(), unit.ampHours,
                unit.wattHours, double(unit.runNs) / 1e9, unit.frames);
}

// The load drops to 2 ohms: 1 A, above the 0.8 A allowed, for three frames.
TEST(Meters, ATripZeroesTheUnitAndIsToldOnStandardError) {
    HeadlessBench bench({"--settle", "0", "--load-step", "2:2"},
                        "[Protection]\nOCP_mA=800\nFrames=3\n");
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ScpiLine remote(bench.port);
    ASSERT_TRUE(remote.connected());
    EXPECT_EQ(remote.ask("APPL 5,1;*OPC?"), "1");
    EXPECT_EQ(bench.nextCommand(), QByteArray("050 200"));
    EXPECT_TRUE(bench.waitForCommand("000 000", 10s));
    EXPECT_EQ(remote.ask("OUTP:PROT:TRIP?"), "1");
    const QByteArray said = bench.panelErrors();
    static const QRegularExpression line("velmora: Output zeroed: current 1.00 A above 0.80 A for "
                                         "3 frames at \\d\\d:\\d\\d:\\d\\d\n");
    EXPECT_TRUE(line.match(QString::fromUtf8(said)).hasMatch()) << said.toStdString();
    // Refused while tripped, each with its error; the trip is told once.
    for (int i = 0; i < 5; ++i) {
        remote.send("APPL 5,0.5");
        EXPECT_TRUE(remote.ask("SYST:ERR?").startsWith("-221,\"Settings conflict;Output"));
    }
    EXPECT_EQ(bench.nextCommand(500ms), QByteArray()) << "nothing while tripped";
    EXPECT_EQ(bench.panelErrors().count("Output zeroed"), 1) << bench.panelErrors().toStdString();
}

} // namespace
} // namespace velmora::e2e
