// The plot window: its cost while following a unit at 80 frames a second, on
// top of the session taking the same frames without it; and how long a pan
// or a zoom over a million points takes to redraw.

#include "bench_support.h"
#include "core/settings_store.h"
#include "history/history.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <optional>

using namespace velmora;

namespace {

constexpr int kSeconds = 10;

// The real clock, whose local time the benchmark may hold at a moment of its
// choosing: ten minutes of frames stamped in the past, fed in a moment.
class BackdatingClock final : public Clock {
  public:
    qint64 monotonicNs() const override { return real_.monotonicNs(); }
    QDateTime localNow() const override { return at_ ? *at_ : real_.localNow(); }
    qint64 epochMs() const override { return at_ ? at_->toMSecsSinceEpoch() : real_.epochMs(); }
    std::unique_ptr<TimerBackend> makeTimer(std::function<void()> fire) override {
        return real_.makeTimer(std::move(fire));
    }
    void holdAt(std::optional<QDateTime> at) { at_ = std::move(at); }

  private:
    RealClock real_;
    std::optional<QDateTime> at_;
};

// A frame of the unit for the values, in its tenths of a volt and hundredths
// of an ampere.
QByteArray Frame(int decivolts, int centiamps) {
    return "D?" + QByteArray::number(decivolts).rightJustified(3, '0') + "??" +
           QByteArray::number(centiamps).rightJustified(3, '0') + "??";
}

// A session on a fake line, holding ten minutes of frames at 80 a second
// before now, as a running panel has.
class Unit {
  public:
    Unit()
        : line_(new test::FakeLine),
          session_(clock_, std::unique_ptr<SerialLine>(line_), SettingsStore()) {
        session_.start();
        const QDateTime now = QDateTime::currentDateTime();
        for (qint64 ms = -10 * 60'000; ms < 0; ms += 12) {
            clock_.holdAt(now.addMSecs(ms));
            line_->feed(Frame(int(ms / 1000 % 250 + 250), int(ms / 700 % 250 + 250)));
        }
        clock_.holdAt(std::nullopt);
    }
    Session& session() { return session_; }

    // Feeds 80 frames a second (two every 25 ms) for kSeconds and returns the
    // processor time taken meanwhile, in % of a core.
    double followAt80(PlotWindow* window) {
        if (window) {
            window->show();
            bench::RunFor(100);
        }
        QTimer feed;
        feed.setTimerType(Qt::PreciseTimer);
        int n = 0;
        QObject::connect(&feed, &QTimer::timeout, [&] {
            line_->feed(Frame(100 + n % 7, 50 + n % 5));
            line_->feed(Frame(100 + n % 3, 50 + n % 9));
            ++n;
        });
        feed.start(25);
        const double cpu = test::CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        bench::RunFor(kSeconds * 1000);
        return (test::CpuSeconds() - cpu) / (double(wall.elapsed()) / 1000) * 100;
    }

  private:
    BackdatingClock clock_;
    test::FakeLine* line_;
    Session session_;
};

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
        Unit unit;
        if (unit.session().history().size() < 49'000) return 1; // the ten minutes before now
        const double without = unit.followAt80(nullptr);
        PlotWindow window(unit.session());
        const double with = unit.followAt80(&window);
        std::printf("plot window following at 80 frames/s: %.1f %% of a core "
                    "(%.1f %% with it, %.1f %% without)\n",
                    with - without, with, without);
    }
    PanAndZoom();
    return 0;
}
