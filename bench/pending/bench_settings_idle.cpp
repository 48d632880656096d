// How much of a processor core the open settings window costs while idle,
// with file names of a million characters in its boxes: nothing changes on
// the screen, so next to nothing should be spent.

#include "bench_support.h"
#include "core/constants.h"
#include "core/wait.h"
#include "panel/form1.h"
#include "settings/form2.h"

#include <cstdio>
#include <cstdlib>

using namespace velmora;

namespace {

// CPU share of this thread while the window sits open for `seconds`.
double IdlePercent(double seconds) {
    WaitSeconds(1.0); // first show, layout and the first repaints are not idle
    const double cpuBefore = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = MonotonicNs();
    WaitSeconds(seconds);
    const double wall = double(MonotonicNs() - start) / 1e9;
    return 100.0 * (test::CpuSeconds(RUSAGE_THREAD) - cpuBefore) / wall;
}

double OpenWindowIdlePercent(const QString& recordName, const QString& controlName,
                             double seconds) {
    SaveSetting(QString(kKeyRecordFile), recordName);
    SaveSetting(QString(kKeyControlFile), controlName);
    LoadSettings();
    OpenSettingsWindow();
    const double percent = IdlePercent(seconds);
    if (Form2* window = SettingsWindow()) window->close();
    WaitSeconds(0.2);
    return percent;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    Form1 panel; // owns the serial component the window reopens
    const QString huge(1'000'000, QChar(u'x'));

    std::printf("settings window idle, short names: %.2f %% of a core\n",
                OpenWindowIdlePercent("run.log", "run.dat", seconds));
    std::printf("settings window idle, 1000000-character names: %.2f %% of a core\n",
                OpenWindowIdlePercent(huge, huge, seconds));
    return 0;
}
