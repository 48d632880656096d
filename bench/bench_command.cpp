// How long a set-point command takes through a pseudo-terminal and how far
// apart its characters reach the unit: a thread plays the unit and stamps each
// character as it arrives.

#include "core/settings_store.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "link/serial_line.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

struct Figures {
    double min = 1e18, max = 0, sum = 0;
    int count = 0;
    void add(double v) {
        min = std::min(min, v);
        max = std::max(max, v);
        sum += v;
        ++count;
    }
    double mean() const { return count ? sum / count : 0; }
};

/// The real line, with the moment of every write noted: the spacing the
/// program keeps, apart from how late the unit's end gets to read.
class StampingLine final : public SerialLine {
public:
    explicit StampingLine(std::vector<qint64>* stamps) : real_(MakeQtSerialLine()), stamps_(stamps) {
        connect(real_.get(), &SerialLine::readyRead, this, &SerialLine::readyRead);
        connect(real_.get(), &SerialLine::gone, this, &SerialLine::gone);
    }
    bool open(const QString& device, const LineSettings& settings) override { return real_->open(device, settings); }
    void close() override { real_->close(); }
    bool isOpen() const override { return real_->isOpen(); }
    qint64 bytesAvailable() const override { return real_->bytesAvailable(); }
    QByteArray read(qint64 maxBytes) override { return real_->read(maxBytes); }
    bool write(const QByteArray& bytes) override {
        stamps_->push_back(MonotonicNs());
        return real_->write(bytes);
    }
    Cts cts() override { return real_->cts(); }

private:
    std::unique_ptr<SerialLine> real_;
    std::vector<qint64>* stamps_;
};

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int commands = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    std::vector<qint64> writes;
    SerialComm comm;
    comm.setLine(std::make_unique<StampingLine>(&writes));
    MSComm1 = &comm;
    SavePortMapping(2, QString::fromLocal8Bit(name));
    Shared.PortNumber = 2;
    OpenPort();
    if (!comm.PortOpen()) return 1;

    std::atomic<bool> running{true};
    std::mutex mutex;
    std::vector<qint64> arrivals;
    std::thread unit([&] {
        pollfd pfd{master, POLLIN, 0};
        char buffer[64];
        while (running) {
            if (::poll(&pfd, 1, 20) <= 0) continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            const qint64 now = MonotonicNs();
            std::lock_guard lock(mutex);
            for (ssize_t i = 0; i < n; ++i) arrivals.push_back(now);
        }
    });

    Figures duration, firstToLast, spacing, writeSpacing;
    int lost = 0;
    for (int i = 0; i < commands; ++i) {
        {
            std::lock_guard lock(mutex);
            arrivals.clear();
        }
        writes.clear();
        // CTS reads as asserted on a pseudo-terminal, so the command starts here.
        const qint64 start = MonotonicNs();
        SendCommand(BuildSetpointCommand(Model::Small1A20V, qint16(100 * i), qint16(10 * i)));
        const qint64 end = MonotonicNs();
        WaitSeconds(0.005);  // the last character's arrival
        std::lock_guard lock(mutex);
        duration.add(double(end - start) / 1e6);
        if (arrivals.size() != 8) {
            ++lost;
            continue;
        }
        firstToLast.add(double(arrivals.back() - arrivals.front()) / 1e6);
        for (size_t k = 1; k < arrivals.size(); ++k) spacing.add(double(arrivals[k] - arrivals[k - 1]) / 1e6);
        for (size_t k = 1; k < writes.size(); ++k) writeSpacing.add(double(writes[k] - writes[k - 1]) / 1e6);
    }
    running = false;
    unit.join();
    MSComm1 = nullptr;

    std::printf("commands: %d\n", commands);
    std::printf("command duration: %.1f ms\n", duration.mean());
    std::printf("command duration max: %.1f ms\n", duration.max);
    std::printf("first to last character: %.1f ms\n", firstToLast.mean());
    std::printf("character spacing min/mean/max: %.2f/%.2f/%.2f ms\n", spacing.min, spacing.mean(), spacing.max);
    std::printf("write spacing min/mean/max: %.2f/%.2f/%.2f ms\n", writeSpacing.min, writeSpacing.mean(),
                writeSpacing.max);
    std::printf("commands not received whole: %d\n", lost);
    return 0;
}
