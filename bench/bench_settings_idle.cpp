// How much of a processor core the open settings window costs while idle,
// with file names of a million characters in its boxes: nothing changes on
// the screen, so next to nothing should be spent.

#include "bench_support.h"
#include "core/settings_store.h"
#include "panel/form1.h"
#include "settings/form2.h"

#include <cstdio>
#include <cstdlib>

using namespace velmora;

namespace {

// CPU share of this thread while the window sits open for `seconds`.
double IdlePercent(double seconds) {
    bench::RunFor(1000); // first show, layout and the first repaints are not idle
    const double cpuBefore = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = bench::NowNs();
    bench::RunFor(int(seconds * 1000));
    const double wall = double(bench::NowNs() - start) / 1e9;
    return 100.0 * (test::CpuSeconds(RUSAGE_THREAD) - cpuBefore) / wall;
}

double OpenWindowIdlePercent(Form1& panel, const QString& recordName, const QString& controlName,
                             double seconds) {
    panel.session().setFileNames(recordName, controlName);
    panel.OpenSettingsWindow();
    const double percent = IdlePercent(seconds);
    if (Form2* window = panel.settingsWindow()) window->close();
    bench::RunFor(200);
    return percent;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    RealClock clock;
    Session session(clock, MakeQtSerialLine(), SettingsStore());
    session.start();
    Form1 panel(session); // owns the settings window
    const QString huge(1'000'000, QChar(u'x'));

    std::printf("settings window idle, short names: %.2f %% of a core\n",
                OpenWindowIdlePercent(panel, "run.log", "run.dat", seconds));
    std::printf("settings window idle, 1000000-character names: %.2f %% of a core\n",
                OpenWindowIdlePercent(panel, huge, huge, seconds));
    return 0;
}
