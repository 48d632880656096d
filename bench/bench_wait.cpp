// How much of a processor core the program costs while it waits for the
// next thing to do and the unit reports 10 frames a second: the session and
// the panel sleep in the event dispatcher between frames.

#include "bench_support.h"
#include "core/settings_store.h"
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

    RealClock clock;
    Session session(clock, MakeQtSerialLine(), SettingsStore());
    Form1 form(session);
    form.show(); // repaints on every frame are part of the cost
    session.start();
    if (!bench::OpenCom2On(session, pty.slavePath())) return 1;

    std::atomic<bool> running{true};
    std::thread unit([&] {
        for (int i = 0; running; ++i) {
            char frame[13];
            std::snprintf(frame, sizeof frame, "D %03d  %03d  ", i % 1000, (i * 7) % 1000);
            if (::write(master, frame, 12) != 12) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    int frames = 0;
    QObject::connect(&session, &Session::measured, [&] { ++frames; });
    const double cpuBefore = ThreadCpuSeconds();
    const qint64 start = bench::NowNs();
    bench::RunFor(int(seconds * 1000));
    const double wall = double(bench::NowNs() - start) / 1e9;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    running = false;
    unit.join();

    std::printf("idle: %.1f s with 10 frames/s, %d frames measured\n", wall, frames);
    std::printf("cpu while waiting: %.2f %% of a core\n", 100.0 * cpu / wall);
    std::printf("frames shown: heartbeat now '%s', voltage %s\n",
                form.Label17.caption().toLatin1().constData(),
                form.Label1.caption().toLatin1().constData());
    return frames > 0 ? 0 : 1;
}
