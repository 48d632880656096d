#include "sim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <unistd.h>

#include "sim/frame.h"

namespace velmora::sim {

namespace {

// The PC sends a command's characters about 10 ms apart; a pause this long
// inside one means the rest is lost.
constexpr double kLineIdle = 1.0;

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string hexLine(const std::string& bytes) {
    std::string line = "rx";
    char hex[4];
    for (const char c : bytes) {
        std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(c));
        line += hex;
    }
    return line;
}

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

Simulator::Simulator(const Options& options, PtyDevice& device, int signalFd, FrameLog& framesLog)
    : options_(options), device_(device), framesLog_(framesLog), signalFd_(signalFd),
      start_(steadySeconds()), model_(options.loadOhms, options.settleSeconds),
      transmitter_(options.plan, 0.0) {
    if (options.cell) model_.setCell(*options.cell);
}

double Simulator::now() const {
    return steadySeconds() - start_;
}

void Simulator::run() {
    for (;;) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {device_.masterFd(), POLLIN, 0}};
        const timespec timeout = pollTimeout(now());
        if (ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR) return;
        const double t = now();
        advanceModel(t);
        if ((fds[0].revents & POLLIN) != 0 && !handleSignals()) return;
        if ((fds[1].revents & POLLIN) != 0) receive(t);
        if (parser_.midCommand() && t - lastByteAt_ >= kLineIdle) {
            if (auto event = parser_.lineIdle()) report(*event);
        }
        transmit(t);
        writeStatusFile(t);
    }
}

// A load step takes effect at its own time, not at the wake that notices it.
void Simulator::advanceModel(double t) {
    const std::vector<LoadStep>& steps = options_.loadSteps;
    for (; nextLoadStep_ < steps.size() && steps[nextLoadStep_].atSeconds <= t; ++nextLoadStep_) {
        const LoadStep& step = steps[nextLoadStep_];
        model_.advance(std::max(step.atSeconds - modelAt_, 0.0));
        modelAt_ = std::max(step.atSeconds, modelAt_);
        model_.setLoad(step.ohms);
        char line[80];
        std::snprintf(line, sizeof line, "load %g ohms at %g s", step.ohms, step.atSeconds);
        print(line, step.atSeconds);
    }
    model_.advance(t - modelAt_);
    modelAt_ = t;
}

// To the microsecond: a character at the full rate is due every 1.04 ms.
timespec Simulator::pollTimeout(double t) const {
    double wake = transmitter_.nextWake();
    if (!options_.statusPath.empty()) wake = std::min(wake, statusAt_);
    if (parser_.midCommand()) wake = std::min(wake, lastByteAt_ + kLineIdle);
    if (nextLoadStep_ < options_.loadSteps.size())
        wake = std::min(wake, options_.loadSteps[nextLoadStep_].atSeconds);
    const auto us = static_cast<long>(std::clamp(std::ceil((wake - t) * 1e6), 0.0, 1e6));
    return {us / 1'000'000, (us % 1'000'000) * 1000};
}

bool Simulator::handleSignals() {
    unsigned char signal = 0;
    while (::read(signalFd_, &signal, 1) == 1) {
        if (signal != SIGUSR1) return false;
        print(statusLine(), now());
    }
    return true;
}

void Simulator::receive(double t) {
    const std::string bytes = device_.readAvailable();
    if (bytes.empty()) return;
    lastByteAt_ = t;
    if (options_.echoBytes) print(hexLine(bytes), t);
    for (const char byte : bytes) {
        if (!parser_.midCommand()) commandStartAt_ = t;
        if (auto event = parser_.feed(byte)) report(*event);
    }
}

void Simulator::report(const ParseEvent& event) {
    char line[160];
    if (!event.obeyed) {
        print("skipped \"" + escapeBytes(event.raw) + "\": " + event.reason, commandStartAt_);
        return;
    }
    const SetPoint set = toSetPoint(event.command, options_.model);
    model_.setTarget(set.volts, set.amps);
    std::snprintf(line, sizeof line, "command %03d %03d -> set %.1f V %.3f A",
                  event.command.voltageCode, event.command.currentCode, set.volts, set.amps);
    print(line, commandStartAt_);
}

void Simulator::print(const std::string& line, double at) const {
    printLine(options_.stamp ? stampedLine(monotonicMs(start_ + at), line) : line);
}

void Simulator::transmit(double t) {
    const std::string bytes = transmitter_.due(t, [this] { return shown(); });
    if (bytes.empty()) return;
    const PtyDevice::Written written = device_.write(bytes, t);
    framesLog_.dropped(written.dropped);
    framesLog_.wrote(bytes, written.sent, transmitter_.midWrite());
}

Reading Simulator::shown() {
    if (!options_.noise) return model_.output();
    std::uniform_real_distribution<double> flicker(-1.0, 1.0);
    return withNoise(model_.output(), flicker(random_), flicker(random_));
}

void Simulator::writeStatusFile(double t) {
    if (options_.statusPath.empty() || t < statusAt_) return;
    statusAt_ = t + 1.0 / options_.plan.framesPerSecond;
    // Readers must never see a half-written file: write aside, then rename.
    const std::string temporary = options_.statusPath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << statusLine() << '\n';
        if (!out) return;
    }
    std::rename(temporary.c_str(), options_.statusPath.c_str());
}

std::string Simulator::statusLine() const {
    const Reading out = model_.output();
    const std::string frame = formatFrame(out.volts, out.amps);
    char line[160];
    std::snprintf(line, sizeof line, "status set %.1f V %.3f A shown %c%c.%c V %c.%c%c A %s",
                  model_.setVolts(), model_.setAmps(), frame[2], frame[3], frame[4], frame[7],
                  frame[8], frame[9], model_.constantCurrent() ? "CC" : "CV");
    if (!model_.cell()) return line;
    char cell[64];
    std::snprintf(cell, sizeof cell, " cell %.3f mAh", model_.cell()->chargedAmpHours() * 1000);
    return line + std::string(cell);
}

} // namespace velmora::sim
