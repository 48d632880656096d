// The port mapped to a link that points nowhere: how much of a core waiting
// for the device costs, and how soon after the device appears (a new
// pseudo-terminal, the link pointed at it) the port is open again.

#include "bench_support.h"
#include "core/wait.h"
#include "panel/form1.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

using namespace velmora;

namespace {

bool PointLink(const QString& link, const QString& target) {
    QFile::remove(link);
    return QFile::link(target, link);
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("unit"));
    if (!PointLink(link, dir.filePath(QStringLiteral("nowhere")))) return 1;

    Form1 form;
    if (bench::OpenCom2On(link)) return 1; // it must not open: nothing is there

    const double cpuBefore = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = MonotonicNs();
    WaitSeconds(seconds);
    const double wall = double(MonotonicNs() - start) / 1e9;
    const double cpu = test::CpuSeconds(RUSAGE_THREAD) - cpuBefore;
    std::printf("cpu while waiting for the device: %.3f %% of a core\n", 100.0 * cpu / wall);

    bench::Figures latency;
    for (int i = 0; i < 5; ++i) {
        test::PtyPair pty;
        if (!pty.ok() || !PointLink(link, pty.slavePath())) return 1;
        const qint64 appeared = MonotonicNs();
        while (!form.MSComm1->PortOpen() && MonotonicNs() - appeared < 3'000'000'000)
            SleepForEvents(1'000'000);
        if (!form.MSComm1->PortOpen()) return 1;
        latency.add(double(MonotonicNs() - appeared) / 1e6);
        // Pulled: the device goes, the port closes, the wait begins again.
        pty.closeMaster();
        while (form.MSComm1->PortOpen())
            SleepForEvents(5'000'000);
        PointLink(link, dir.filePath(QStringLiteral("nowhere")));
        WaitSeconds(0.3);
    }
    std::printf("re-attach after the device appears mean/max: %.0f/%.0f ms\n", latency.mean(),
                latency.max);
    return 0;
}
