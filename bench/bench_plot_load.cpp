// Opening a day's recording, 5,000,000 lines, in a plot window while the
// unit sends 80 frames a second and a control file plays: how much later
// Zero output and the due records go out than without the load; how long
// the load takes, how long the window's thread stands still meanwhile, and
// what the first draw of all the samples costs. The panel's session runs on
// the real clock over a fake line.

#include "bench_support.h"
#include "history/history.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"
#include "support/control_line.h"
#include "support/panel_on_fake_line.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <vector>

using namespace velmora;

namespace {

constexpr int kLines = 5'000'000;

// A day of recording, 58 lines a second, values changing on every line.
bool WriteDayOfRecording(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QDateTime start(QDate::currentDate().addDays(-2), QTime(0, 0));
    QByteArray block, stamp;
    qint64 stampSecond = -1;
    for (int i = 0; i < kLines; ++i) {
        const qint64 second = qint64(i) * 86'400 / kLines;
        if (second != stampSecond) {
            stampSecond = second;
            stamp = test::Stamp(start.addSecs(second));
        }
        char values[32];
        std::snprintf(values, sizeof values, ",\"%02d.%dV\",\"%d.%02dA\"\r\n", i % 25, i % 10,
                      i % 3, i % 100);
        block += stamp;
        block += values;
        if (block.size() > (1 << 20)) {
            if (file.write(block) != block.size()) return false;
            block.clear();
        }
    }
    return file.write(block) == block.size();
}

// Runs the event loop until the wall clock reaches `ms` since the epoch.
void RunUntilWall(qint64 ms) {
    bench::RunFor(int(std::max<qint64>(ms - QDateTime::currentMSecsSinceEpoch(), 0)));
}

// When the first character of each command went out (monotonic ns), in order.
std::vector<qint64> CommandStartsNs(const test::FakeLine& line) {
    std::vector<qint64> starts;
    qint64 bytes = 0;
    for (const auto& write : line.writes())
        for (qsizetype i = 0; i < write.bytes.size(); ++i)
            if (bytes++ % 8 == 0) starts.push_back(write.atNs);
    return starts;
}

// The panel on a fake line receiving 80 frames a second, and the record file.
class Scene {
  public:
    Scene(const QString& big, const QString& control) : big_(big), control_(control) {
        panel_.session.unit().chooseModel(Model::Large2A5_25V);
        panel_.form.show();
        frames_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&frames_, &QTimer::timeout, [this] {
            const int n = framesSent_++ % 100;
            for (int k = 0; k < 2; ++k)
                panel_.line->feed(QByteArray("D?") + QByteArray::number(100 + n) + "??" +
                                  QByteArray::number(200 + n + k) + "??");
        });
        frames_.start(25);
    }

    // Opens the record file and waits for the plot: seconds taken.
    double load(PlotWindow*& window) {
        QElapsedTimer t;
        t.start();
        window = OpenRecordFileWindow(panel_.session, big_);
        bench::RunUntil([&] { return window && !window->loading(); }, 300'000);
        return double(t.elapsed()) / 1000.0;
    }

    // Records due at each of the next `seconds` seconds, played; Zero output
    // half a second after the last one, which ends the run. The lateness of
    // each record against its second, ms; the Zero output's delay in `zero`.
    bench::Figures playback(int seconds, bool withLoad, bench::Figures& zero) {
        const qint64 first = QDateTime::currentSecsSinceEpoch() + 2;
        QFile file(control_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
        for (int i = 0; i < seconds; ++i)
            file.write(
                test::ControlLine(QDateTime::fromSecsSinceEpoch(first + i), "12.3V", "1.23A"));
        file.close();
        panel_.line->clearWrites();
        PlotWindow* window = withLoad ? OpenRecordFileWindow(panel_.session, big_) : nullptr;
        if (!panel_.session.startPlayback(control_).started) {
            delete window;
            return {};
        }
        qint64 askedNs = 0;
        const qint64 zeroAt = (first + seconds - 1) * 1000 + 500;
        QTimer::singleShot(int(zeroAt - QDateTime::currentMSecsSinceEpoch()), Qt::PreciseTimer,
                           [&] {
                               askedNs = bench::NowNs();
                               panel_.session.unit().request(SetpointSource::ZeroOutput, {});
                           });
        RunUntilWall(zeroAt + 300);
        delete window;
        const auto starts = CommandStartsNs(*panel_.line);
        bench::Figures lateness;
        for (int i = 0; i < seconds && i < int(starts.size()); ++i)
            lateness.add(wallMs(starts[size_t(i)]) - double((first + i) * 1000));
        if (starts.size() > size_t(seconds))
            zero.add(double(starts[size_t(seconds)] - askedNs) / 1e6);
        return lateness;
    }

    // Zero output asked every 700 ms for `seconds`, nothing else going out:
    // from the asking to its first character, ms.
    bench::Figures zeroOutputs(int seconds, bool withLoad) {
        panel_.line->clearWrites();
        PlotWindow* window = withLoad ? OpenRecordFileWindow(panel_.session, big_) : nullptr;
        std::vector<qint64> asked;
        QTimer ask;
        ask.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ask, &QTimer::timeout, [&] {
            asked.push_back(bench::NowNs());
            panel_.session.unit().request(SetpointSource::ZeroOutput, {});
        });
        ask.start(700);
        bench::RunFor(seconds * 1000);
        ask.stop();
        bench::RunFor(200);
        delete window;
        const auto starts = CommandStartsNs(*panel_.line);
        bench::Figures delay;
        for (size_t i = 0; i < asked.size() && i < starts.size(); ++i)
            delay.add(double(starts[i] - asked[i]) / 1e6);
        return delay;
    }

  private:
    // Wall-clock ms of a moment the fake line stamped on the monotonic clock.
    double wallMs(qint64 monotonicNs) const {
        return double(monotonicNs) / 1e6 + double(wallMinusMonotonicMs_);
    }

    test::PanelOnFakeLine panel_;
    QString big_, control_;
    QTimer frames_;
    int framesSent_ = 0;
    qint64 wallMinusMonotonicMs_ = QDateTime::currentMSecsSinceEpoch() - bench::NowNs() / 1'000'000;
};

// The envelope of everything over as many samples, for a plot 1200 wide, ms.
double EnvelopeOfEverything() {
    History history(kLines);
    for (qint64 i = 0; i < kLines; ++i)
        history.addMeasurement(1'700'000'000'000 + i * 17, {int(i % 250), int(i % 97)});
    bench::Figures ms;
    QElapsedTimer t;
    for (int i = 0; i < 5; ++i) {
        t.start();
        history.envelope(history.first()->ms, history.last()->ms, 1200);
        ms.add(double(t.nsecsElapsed()) / 1e6);
    }
    return ms.max;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    QTemporaryDir files;
    const QString big = files.filePath(QStringLiteral("day.log"));
    if (!WriteDayOfRecording(big)) return 1; // in the page cache now, as after a recording
    Scene scene(big, files.filePath(QStringLiteral("run.dat")));

    // The longest the window's thread goes without handling a 5 ms timer
    // while the file loads and its plot is drawn.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(5);
    PlotWindow* window = nullptr;
    const double loadSeconds = scene.load(window);
    if (!window) return 1;
    bench::RunFor(200);
    tick.stop();
    bench::Figures draw;
    QElapsedTimer t;
    for (int i = 0; i < 5; ++i) {
        t.start();
        window->view()->refresh(QCustomPlot::rpImmediateRefresh);
        draw.add(double(t.nsecsElapsed()) / 1e6);
    }
    delete window;
    std::printf("plot window load of %d lines: %.1f s\n", kLines, loadSeconds);
    std::printf("window thread longest stall during a %d-line load: %lld ms\n", kLines, longest);
    std::printf("first draw of %d samples, with the plan / envelope alone, max: %.1f / %.1f ms\n",
                kLines, draw.max, EnvelopeOfEverything());

    // Past the load's end, so its hand-over and first draw are in it too.
    const int seconds = int(loadSeconds) + 3;
    bench::Figures zeroWithout, zeroWith;
    const bench::Figures recordsWithout = scene.playback(4, false, zeroWithout);
    const bench::Figures recordsWith = scene.playback(seconds, true, zeroWith);
    zeroWithout.add(scene.zeroOutputs(4, false).max);
    zeroWith.add(scene.zeroOutputs(seconds, true).max);
    std::printf("zero output delay max without / with a load: %.1f / %.1f ms\n", zeroWithout.max,
                zeroWith.max);
    std::printf("due record lateness max without / with a load: %.1f / %.1f ms (%d and %d "
                "records)\n",
                recordsWithout.max, recordsWith.max, recordsWithout.count, recordsWith.count);
    std::printf("zero output and due record during a %d-line load, extra delay max: %.1f ms / "
                "%.1f ms\n",
                kLines, std::max(zeroWith.max - zeroWithout.max, 0.0),
                std::max(recordsWith.max - recordsWithout.max, 0.0));
    return 0;
}
