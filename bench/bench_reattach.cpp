// The port mapped to a link that points nowhere: how much of a core waiting
// for the device costs, and how soon after the device appears (a new
// pseudo-terminal, the link pointed at it) the session's port is open again.

#include "bench_support.h"
#include "core/settings_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

using namespace velmora;
using bench::NowNs;

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

    RealClock clock;
    Session session(clock, MakeQtSerialLine(), SettingsStore());
    session.start();
    if (bench::OpenCom2On(session, link)) return 1; // it must not open: nothing is there
    const UnitControl& unit = session.unit();

    const double cpuBefore = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = NowNs();
    bench::RunFor(int(seconds * 1000));
    const double wall = double(NowNs() - start) / 1e9;
    const double cpu = test::CpuSeconds(RUSAGE_THREAD) - cpuBefore;
    std::printf("cpu while waiting for the device: %.3f %% of a core\n", 100.0 * cpu / wall);

    bench::Figures latency;
    for (int i = 0; i < 5; ++i) {
        test::PtyPair pty;
        if (!pty.ok() || !PointLink(link, pty.slavePath())) return 1;
        const qint64 appeared = NowNs();
        if (!bench::RunUntil([&] { return unit.linkOpen(); }, 3000)) return 1;
        latency.add(double(NowNs() - appeared) / 1e6);
        // Pulled: the device goes, the port closes, the wait begins again.
        pty.closeMaster();
        if (!bench::RunUntil([&] { return !unit.linkOpen(); }, 3000)) return 1;
        PointLink(link, dir.filePath(QStringLiteral("nowhere")));
        bench::RunFor(300);
    }
    std::printf("re-attach after the device appears mean/max: %.0f/%.0f ms\n", latency.mean(),
                latency.max);
    return 0;
}
