// How soon a protection trip puts the zero command on the line: from the
// frame that completes the trip to the zero's first character, with no
// command on the line, and with one on it (then from that command's end,
// its last pause). A fake line on the real clock: the program's own reaction.

#include "bench_support.h"

#include <QSettings>
#include <cstdio>

using namespace velmora;
using bench::Figures;
using bench::NowNs;

namespace {

constexpr qint64 kPauseNs = 10'000'000; // after each character of a command

// A session that trips on a current above 0.80 A for 3 frames.
struct TrippingSession {
    explicit TrippingSession(const QString& store)
        : line(new test::FakeLine),
          session(clock, std::unique_ptr<SerialLine>(line), SettingsStore(store)) {
        session.start();
    }
    // Two frames above the threshold, then the third, which trips; the moment
    // the third was handed over.
    qint64 trip() {
        line->feed("D 050  081  ");
        line->feed("D 050  081  ");
        const qint64 at = NowNs();
        line->feed("D 050  081  ");
        return at;
    }
    bool idle() const { return session.unit().linkIdle(); }

    RealClock clock;
    test::FakeLine* line;
    Session session;
};

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const int trips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QTemporaryDir dir;
    const QString store = dir.filePath("Tarnholm.conf");
    {
        QSettings settings(store, QSettings::IniFormat);
        settings.setValue("Protection/OCP_mA", "800");
        settings.setValue("Protection/Frames", "3");
    }
    TrippingSession unit(store);
    if (!unit.session.unit().linkOpen()) return 1;

    Figures alone, afterCommand;
    for (int i = 0; i < trips; ++i) {
        // No command on the line.
        unit.line->clearWrites();
        const qint64 tripAt = unit.trip();
        if (!bench::RunUntil([&] { return !unit.line->writes().isEmpty(); }, 1000)) return 1;
        alone.add(double(unit.line->writes().first().atNs - tripAt) / 1e6);
        bench::RunUntil([&] { return unit.idle(); }, 1000);
        unit.session.clearTrip();

        // A command on the line, three of its characters out.
        unit.line->clearWrites();
        unit.session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(500)});
        if (!bench::RunUntil([&] { return unit.line->writes().size() >= 3; }, 1000)) return 1;
        unit.trip();
        if (!bench::RunUntil([&] { return unit.line->writes().size() >= 9; }, 1000)) return 1;
        const auto& writes = unit.line->writes();
        if (writes[8].bytes != "0") return 1;
        afterCommand.add(double(writes[8].atNs - (writes[7].atNs + kPauseNs)) / 1e6);
        bench::RunUntil([&] { return unit.idle(); }, 1000);
        unit.session.clearTrip();
    }
    std::printf("trips: %d\n", trips);
    std::printf("trip to zero command mean/max: %.2f/%.2f ms (no command on the line), "
                "%.2f/%.2f ms after the command on the line\n",
                alone.mean(), alone.max, afterCommand.mean(), afterCommand.max);
    return 0;
}
