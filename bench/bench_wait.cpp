// How much of a processor core a long wait costs while the unit reports
// 10 frames a second: the wait sleeps in the event dispatcher between frames.

#include "core/settings_store.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"

#include <QApplication>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace velmora;

namespace {

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    Form1 form;
    form.show();  // repaints on every frame are part of the cost
    SavePortMapping(2, QString::fromLocal8Bit(name));
    Shared.PortNumber = 2;
    OpenPort();
    if (!form.MSComm1->PortOpen()) return 1;

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
