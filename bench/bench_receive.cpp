// Time the receive handler takes per measurement frame: 10,000 frames fed
// through a line held in memory, so only the program's own work is timed
// (reading the block, checking it, three captions, the recorder call).

#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <utility>

namespace {

using namespace velmora;

/// A serial line whose received characters the benchmark hands over directly.
class MemoryLine final : public SerialLine {
public:
    bool open(const QString&, const LineSettings&) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    qint64 bytesAvailable() const override { return waiting_.size(); }
    QByteArray read(qint64) override { return std::exchange(waiting_, {}); }
    bool write(const QByteArray&) override { return open_; }
    Cts cts() override { return Cts::NoModemLines; }
    void deliver(const QByteArray& bytes) {
        waiting_ = bytes;
        emit readyRead();
    }

private:
    QByteArray waiting_;
    bool open_ = false;
};

double MicrosecondsPerFrame(MemoryLine& line, const QList<QByteArray>& frames, int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) line.deliver(frames[i % frames.size()]);
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    QApplication::processEvents();  // the repaints the captions asked for
    return spent.count() / count;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Form1 form;
    auto* line = new MemoryLine;
    form.MSComm1->setLine(std::unique_ptr<SerialLine>(line));
    OpenPort();
    form.show();

    // Values that change on every frame, so each one updates the captions and
    // goes to the recorder: the most work a frame can cause.
    QList<QByteArray> changing;
    for (int v = 0; v < 100; ++v) changing << QByteArray("D?") + QByteArray::number(100 + v) + "??" +
                                                  QByteArray::number(200 + v) + "??";
    const QList<QByteArray> invalid{"D?123??045??D"};
    constexpr int kFrames = 10'000;
    MicrosecondsPerFrame(*line, changing, 1000);  // warm up
    std::printf("receive handler per frame: %.2f us\n", MicrosecondsPerFrame(*line, changing, kFrames));
    if (Shared.LastMeasurement.isEmpty()) {
        std::fprintf(stderr, "bench_receive: the handler did not take the frames\n");
        return 1;
    }
    // A reset keeps the port closed for a frame's time on purpose.
    std::printf("receive handler per invalid block (port reset): %.2f ms\n",
                MicrosecondsPerFrame(*line, invalid, 50) / 1000);
    return 0;
}
