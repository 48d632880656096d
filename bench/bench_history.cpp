// The live history's memory: 24 hours at the line's full rate of 80 frames a
// second, held whole, against the 64 MiB it may take.

#include "history/history.h"

#include <QFile>
#include <cstdio>

namespace {

double ResidentMiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

} // namespace

int main() {
    const double before = ResidentMiB();
    velmora::History history;
    const qint64 day = 24LL * 3600 * 80;
    qint64 ms = 1'700'000'000'000;
    // A day and a half, so the oldest have gone first by the end.
    for (qint64 i = 0; i < day * 3 / 2; ++i) {
        ms += (i % 2) ? 12 : 13; // 80 a second
        history.addMeasurement(ms, {int(i % 250), int(i % 100)});
        if (i % 4000 == 0)
            history.addSetpoints(
                ms, {velmora::Millivolts(int(i % 25000)), velmora::Milliamps(int(i % 1000))});
    }
    const double span = double(history.last()->ms - history.first()->ms) / 3.6e6;
    std::printf("live history samples held: %lld (%.2f h)\n", history.size(), span);
    std::printf("live history 24 h at 80 frames/s: %.1f MiB held, %.1f MiB resident\n",
                double(history.bytesHeld()) / (1 << 20), ResidentMiB() - before);
    return 0;
}
