// How much of a processor core a long wait costs while the unit reports
// 10 frames a second: the wait sleeps in the event dispatcher between frames.

#include "bench_support.h"
#include "core/wait.h"
#include "panel/form1.h"

#include <atomic>
#include <cstdio>
#include <thread>

using namespace velmora;

namespace {

double ThreadCpuSeconds() {
    return test::CpuSeconds(RUSAGE_THREAD);
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    test::PtyPair pty;
    if (!pty.ok()) return 1;
    pty.setMasterBlocking(true);
    const int master = pty.masterFd();

    Form1 form;
    form.show(); // repaints on every frame are part of the cost
    if (!bench::OpenCom2On(pty.slavePath())) return 1;

    std::atomic<bool> running{true};
    std::thread unit([&] {
        for (int i = 0; running; ++i) {
            char frame[13];
            std::snprintf(frame, sizeof frame, "D %03d  %03d  ", i % 1000, (i * 7) % 1000);
            if (::write(master, frame, 12) != 12) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    const double cpuBefore = ThreadCpuSeconds();
    const qint64 start = MonotonicNs();
    WaitSeconds(seconds);
    const double wall = double(MonotonicNs() - start) / 1e9;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    running = false;
    unit.join();

    std::printf("wait: %.1f s with 10 frames/s\n", wall);
    std::printf("cpu while waiting: %.2f %% of a core\n", 100.0 * cpu / wall);
    std::printf("frames shown: heartbeat now '%s', voltage %s\n",
                form.Label17.caption().toLatin1().constData(),
                form.Label1.caption().toLatin1().constData());
    return 0;
}
