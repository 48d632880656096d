// The plot window: its cost while following a unit at 80 frames a second, on
// top of the same samples going into the history without it; and how long a
// pan or a zoom over a million points takes to redraw.

#include "bench_support.h"
#include "history/history.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

using namespace velmora;

namespace {

constexpr int kSeconds = 10;

// Feeds 80 samples a second (two every 25 ms) for kSeconds and returns the
// processor time taken meanwhile, in % of a core.
double FollowAt80(History& history, PlotWindow* window) {
    if (window) {
        window->show();
        QApplication::processEvents();
    }
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    int n = 0;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        history.addMeasurement(now - 12, {100 + n % 7, 50 + n % 5});
        history.addMeasurement(now, {100 + n % 3, 50 + n % 9});
        ++n;
    });
    feed.start(25);
    const double cpu = test::CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(kSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return (test::CpuSeconds() - cpu) / (double(wall.elapsed()) / 1000) * 100;
}

// A ten-minute window's worth of samples before now, as a running panel has.
void FillLastMinutes(History& history, int minutes) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (qint64 ms = now - minutes * 60'000; ms < now; ms += 12)
        history.addMeasurement(ms, {int(ms / 1000 % 250), int(ms / 700 % 250)});
}

void PanAndZoom() {
    History history;
    const qint64 start = 1'700'000'000'000;
    for (int i = 0; i < 1'000'000; ++i)
        history.addMeasurement(start + i * 100LL, {(i / 13) % 250, (i / 7) % 250});
    PlotView view(&history);
    view.resize(1200, 400);
    view.show();
    view.showEverything(start);
    view.refresh(QCustomPlot::rpImmediateRefresh);
    bench::Figures ms;
    QElapsedTimer t;
    for (int i = 0; i < 20; ++i) {
        t.start();
        if (i % 2)
            view.xAxis->scaleRange(i % 4 == 1 ? 0.8 : 1.25); // a wheel step
        else
            view.xAxis->moveRange(view.xAxis->range().size() * 0.1); // a drag
        view.refresh(QCustomPlot::rpImmediateRefresh);
        ms.add(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("pan or zoom over 1000000 points, mean/max: %.1f / %.1f ms\n", ms.mean(), ms.max);
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    {
        History history;
        FillLastMinutes(history, 10);
        const double without = FollowAt80(history, nullptr);
        PlotWindow window(&history);
        const double with = FollowAt80(history, &window);
        std::printf("plot window following at 80 frames/s: %.1f %% of a core "
                    "(%.1f %% with it, %.1f %% without)\n",
                    with - without, with, without);
    }
    PanAndZoom();
    return 0;
}
