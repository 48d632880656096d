// Playback punctuality: how long after the start of its second each command
// of a control file reaches the unit, over records one second apart; and how
// closely past-dated records follow each other.

#include "bench_support.h"
#include "core/settings_store.h"
#include "support/control_line.h"

#include <QDateTime>
#include <QFile>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

constexpr int kRecords = 5;

qint64 WallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Reads the unit's end on its own thread and notes when each command's first
// byte arrives, apart from the program's event loop.
class Unit {
  public:
    explicit Unit(int master) : master_(master), thread_([this] { Read(); }) {}
    ~Unit() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::vector<qint64> firstByteMs() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return arrivals_;
    }

  private:
    void Read() {
        int inCommand = 0;
        char buffer[64];
        while (!done_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            const ssize_t n = read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (inCommand == 0) arrivals_.push_back(WallMs());
                inCommand = (inCommand + 1) % 8;
            }
        }
    }

    int master_;
    std::atomic<bool> done_{false};
    std::vector<qint64> arrivals_;
    std::thread thread_;
};

// Reads away what the unit got before the figures start: the zero that
// choosing the model sends once the port is open.
void Drain(int master) {
    char buffer[64];
    for (pollfd p{master, POLLIN, 0};
         poll(&p, 1, 0) > 0 && read(master, buffer, sizeof buffer) > 0;)
        p.revents = 0;
}

bool WriteControlFile(const QString& path, const std::vector<QDateTime>& stamps) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    for (const QDateTime& at : stamps)
        file.write(test::ControlLine(at, "12.3V", "1.23A"));
    return true;
}

void PrintLateness(const std::vector<QDateTime>& stamps, const std::vector<qint64>& arrivals) {
    bench::Figures lateness;
    for (size_t i = 0; i < stamps.size() && i < arrivals.size(); ++i)
        lateness.add(double(arrivals[i] - stamps[i].toMSecsSinceEpoch()));
    std::printf("playback commands sent: %zu of %zu\n", arrivals.size(), stamps.size());
    std::printf("playback lateness mean: %.1f ms\n", lateness.mean());
    std::printf("playback lateness max: %.1f ms\n", lateness.max);
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);

    test::PtyPair pty;
    if (!pty.ok()) return 1;
    pty.setMasterBlocking(true);
    const int master = pty.masterFd();

    RealClock clock;
    Session session(clock, MakeQtSerialLine(), SettingsStore());
    session.start();
    session.unit().chooseModel(Model::Large2A5_25V);
    if (!bench::OpenCom2On(session, pty.slavePath())) return 1;
    bench::RunFor(300);
    Drain(master);

    QTemporaryDir files;
    const QString path = files.filePath("bench.dat");
    const auto play = [&] {
        if (!session.startPlayback(path).started) return false;
        return bench::RunUntil([&] { return session.playerState() == Player::State::Idle; },
                               (kRecords + 5) * 1000);
    };

    // Records one second apart, from the next second but one on.
    std::vector<QDateTime> stamps;
    const QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
    for (int i = 0; i < kRecords; ++i)
        stamps.push_back(now.addSecs(2 + i));
    if (!WriteControlFile(path, stamps)) return 1;
    {
        Unit unit(master);
        if (!play()) return 1;
        bench::RunFor(50);
        PrintLateness(stamps, unit.firstByteMs());
    }

    // Past-dated records go out as fast as the line allows.
    const std::vector<QDateTime> past(kRecords, now.addDays(-1));
    if (!WriteControlFile(path, past)) return 1;
    {
        Unit unit(master);
        if (!play()) return 1;
        bench::RunFor(50);
        const auto arrivals = unit.firstByteMs();
        if (arrivals.size() > 1)
            std::printf("playback back-to-back spacing: %.1f ms\n",
                        double(arrivals.back() - arrivals.front()) / double(arrivals.size() - 1));
    }

    return 0;
}
