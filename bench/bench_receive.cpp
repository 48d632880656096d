// Time the receive handler takes per measurement frame: 10,000 frames fed
// through a line held in memory, so only the program's own work is timed
// (the serial component's read, the session's check, the history, the
// recorder call and the panel's three captions), with recording off and
// with every frame recorded to a file on the disk; each the median of five rounds.

#include "bench_support.h"
#include "panel/form1.h"
#include "support/panel_on_fake_line.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using namespace velmora;
using test::FakeLine;

double MicrosecondsPerFrame(FakeLine& line, const QList<QByteArray>& frames, int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        line.feed(frames[i % frames.size()]);
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    QApplication::processEvents(); // the repaints the captions asked for
    return spent.count() / count;
}

// The median of five rounds: a shared machine's noise is larger than the figure.
double MedianMicrosecondsPerFrame(FakeLine& line, const QList<QByteArray>& frames, int count) {
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round)
        rounds.push_back(MicrosecondsPerFrame(line, frames, count));
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);

    test::PanelOnFakeLine panel; // handed the characters directly
    Session& session = panel.session;
    FakeLine* line = panel.line;
    panel.form.show();

    // Values that change on every frame, so each one updates the captions and
    // goes to the recorder.
    QList<QByteArray> changing;
    for (int v = 0; v < 100; ++v)
        changing << QByteArray("D?") + QByteArray::number(100 + v) + "??" +
                        QByteArray::number(200 + v) + "??";
    const QList<QByteArray> invalid{"D?123??045??D"};
    constexpr int kFrames = 10'000;
    MicrosecondsPerFrame(*line, changing, 1000); // warm up
    std::printf("receive handler per frame: %.2f us\n",
                MedianMicrosecondsPerFrame(*line, changing, kFrames));
    if (!session.lastMeasurement()) {
        std::fprintf(stderr, "bench_receive: the handler did not take the frames\n");
        return 1;
    }
    // Recording on: every frame is a line written through to the disk, the
    // most work a frame can cause.
    QTemporaryDir files;
    if (!session.startRecording(files.filePath(QStringLiteral("bench.log"))).started) return 1;
    std::printf("receive handler per frame while recording: %.1f us\n",
                MedianMicrosecondsPerFrame(*line, changing, 2000));
    session.stopRecording();
    // A reset closes and reopens the port; nothing waits for it.
    std::printf("receive handler per invalid block (port reset): %.1f us\n",
                MicrosecondsPerFrame(*line, invalid, 50));
    return 0;
}
