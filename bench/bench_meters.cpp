// The meters' accuracy: the program with no window against the simulated
// unit, 5 V into 10 ohms at the full frame rate for a minute, its charge and
// energy against the same frames as the unit logged them.

#include "e2e/headless.h"
#include "support/frames_log_meters.h"

#include <QCoreApplication>
#include <cstdio>

using namespace velmora;
using namespace velmora::e2e;

namespace {

double PercentOff(double measured, double truth) {
    return truth == 0.0 ? 0.0 : (measured - truth) / truth * 100.0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir logDir;
    const QString log = logDir.filePath("frames.log");
    HeadlessBench bench(
        {"--load", "10", "--rate", "80", "--settle", "0", "--frames-log", log.toStdString()});
    ScpiLine remote(bench.port);
    if (!bench.started || !remote.connected() || remote.ask("APPL 5,1;*OPC?") != "1" ||
        !WaitUntil([&] { return remote.ask("MEAS:VOLT?;CURR?") == "5.0;0.50"; }, 5s)) {
        std::fprintf(stderr, "bench_meters: the bench did not start\n%s",
                     bench.panelErrors().constData());
        return 1;
    }
    Pause(300ms);
    remote.ask("SENS:AHO:RES;*OPC?");
    const qint64 from = test::MonotonicMs();
    Pause(std::chrono::seconds(seconds));
    const qint64 to = test::MonotonicMs();
    const QList<QByteArray> answer = remote.ask("FETC:AHO?;WHO?").split(';');
    const MeterReadings unit =
        test::MetersOfFramesLog(test::FramesBetween(ReadFile(log), from, to)).readings();
    if (answer.size() != 2 || unit.frames == 0) return 1;
    std::printf("meters against the unit's own log: charge %+.3f %%, energy %+.3f %% (%d s, %lld "
                "frames)\n",
                PercentOff(answer[0].toDouble(), unit.ampHours),
                PercentOff(answer[1].toDouble(), unit.wattHours), seconds, unit.frames);
    return 0;
}
