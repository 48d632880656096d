// What each unit of a bench costs while the program waits: 1, 2 and 4 units,
// each on a pseudo-terminal of its own reporting 10 frames a second, every
// session in the one event loop. The cost a unit should stay flat.

#include "bench_support.h"
#include "link/serial_line.h"
#include "session/units.h"

#include <QSettings>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

// The main thread's CPU for `seconds` with `count` units reporting.
double CpuPercent(int count, double seconds) {
    std::vector<std::unique_ptr<test::PtyPair>> ptys;
    QTemporaryDir dir;
    QSettings stored(dir.filePath("Tarnholm.conf"), QSettings::IniFormat);
    for (int n = 1; n <= count; ++n) {
        ptys.push_back(std::make_unique<test::PtyPair>());
        if (!ptys.back()->ok()) return -1;
        ptys.back()->setMasterBlocking(true);
        const QString group = n == 1 ? QStringLiteral("Netzteil") : QStringLiteral("Unit%1").arg(n);
        stored.setValue(group + "/Com", n + 1);
        stored.setValue(group + "/NLU", 20000);
        stored.setValue(group + "/NLI", 1000);
        stored.setValue(group + "/Log", dir.filePath(QStringLiteral("u%1.log").arg(n)));
        stored.setValue(QStringLiteral("Ports/COM%1").arg(n + 1), ptys.back()->slavePath());
    }
    stored.sync();
    RealClock clock;
    Units units(clock, [] { return MakeQtSerialLine(); }, stored.fileName());
    units.start();
    if (units.count() != count) return -1;

    std::atomic<bool> running{true};
    std::thread unit([&] {
        for (int i = 0; running; ++i) {
            char frame[13];
            std::snprintf(frame, sizeof frame, "D %03d  %03d  ", i % 1000, (i * 7) % 1000);
            for (const auto& pty : ptys)
                if (::write(pty->masterFd(), frame, 12) != 12) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    bench::RunFor(500); // the ports open and the first frames come
    const double cpuBefore = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = bench::NowNs();
    bench::RunFor(int(seconds * 1000));
    const double wall = double(bench::NowNs() - start) / 1e9;
    const double cpu = test::CpuSeconds(RUSAGE_THREAD) - cpuBefore;
    running = false;
    unit.join();
    return 100.0 * cpu / wall;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    QStringList each;
    for (int count : {1, 2, 4}) {
        const double percent = CpuPercent(count, seconds);
        if (percent < 0) return 1;
        each << QString::number(percent / count, 'f', 2);
        std::printf("bench of %d unit%s waiting, 10 frames/s each: %.2f %% of a core, %.2f %% a "
                    "unit\n",
                    count, count == 1 ? "" : "s", percent, percent / count);
    }
    std::printf("cpu a unit while waiting, 1 / 2 / 4 units: %s %% of a core\n",
                qPrintable(each.join(QStringLiteral(" / "))));
    return 0;
}
