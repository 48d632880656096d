// How long a set-point command takes through a pseudo-terminal and how far
// apart its characters reach the unit: a thread plays the unit and stamps each
// character as it arrives.

#include "bench_support.h"
#include "link/serial_link.h"
#include "unit/command.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>

using namespace velmora;
using bench::Figures;
using bench::NowNs;

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const int commands = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    test::PtyPair pty;
    if (!pty.ok()) return 1;
    pty.setMasterBlocking(true);
    const int master = pty.masterFd();

    // The moments of the writes: the spacing the program keeps, apart from
    // how late the unit's end gets to read.
    RealClock clock;
    auto stamping = std::make_unique<test::StampingLine>();
    test::StampingLine& line = *stamping;
    SerialLink link(clock, std::move(stamping));
    link.openPort(2, pty.slavePath());
    if (!link.isOpen()) return 1;

    std::atomic<bool> running{true};
    std::mutex mutex;
    std::vector<qint64> arrivals;
    std::thread unit([&] {
        pollfd pfd{master, POLLIN, 0};
        char buffer[64];
        while (running) {
            if (::poll(&pfd, 1, 20) <= 0) continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            const qint64 now = NowNs();
            std::lock_guard lock(mutex);
            for (ssize_t i = 0; i < n; ++i)
                arrivals.push_back(now);
        }
    });

    Figures duration, firstToLast, spacing, writeSpacing;
    int lost = 0;
    for (int i = 0; i < commands; ++i) {
        {
            std::lock_guard lock(mutex);
            arrivals.clear();
        }
        line.clearWrites();
        // CTS reads as asserted on a pseudo-terminal: the command starts at
        // the next turn, and it is done after its eighth pause.
        const qint64 start = NowNs();
        qint64 end = 0;
        CommandEnd how = CommandEnd::Lost;
        link.send(BuildSetpointCommand(Model::Small1A20V, {Millivolts(100 * i), Milliamps(10 * i)}),
                  [&](CommandEnd e) {
                      end = NowNs();
                      how = e;
                  });
        bench::RunUntil([&] { return end != 0; }, 2000);
        bench::RunFor(5); // the last character's arrival
        std::lock_guard lock(mutex);
        if (end == 0 || how != CommandEnd::Sent) return 1;
        duration.add(double(end - start) / 1e6);
        if (arrivals.size() != 8) {
            ++lost;
            continue;
        }
        firstToLast.add(double(arrivals.back() - arrivals.front()) / 1e6);
        for (size_t k = 1; k < arrivals.size(); ++k)
            spacing.add(double(arrivals[k] - arrivals[k - 1]) / 1e6);
        const auto& writes = line.writes();
        for (qsizetype k = 1; k < writes.size(); ++k)
            writeSpacing.add(double(writes[k].atNs - writes[k - 1].atNs) / 1e6);
    }
    running = false;
    unit.join();

    std::printf("commands: %d\n", commands);
    std::printf("command duration: %.1f ms\n", duration.mean());
    std::printf("command duration max: %.1f ms\n", duration.max);
    std::printf("first to last character: %.1f ms\n", firstToLast.mean());
    std::printf("character spacing min/mean/max: %.2f/%.2f/%.2f ms\n", spacing.min, spacing.mean(),
                spacing.max);
    std::printf("write spacing min/mean/max: %.2f/%.2f/%.2f ms\n", writeSpacing.min,
                writeSpacing.mean(), writeSpacing.max);
    std::printf("commands not received whole: %d\n", lost);
    return 0;
}
