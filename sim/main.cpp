// velmora-sim: the simulated power-supply unit on a pseudo-terminal.

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim/frame_log.h"
#include "sim/options.h"
#include "sim/pty_device.h"
#include "sim/simulator.h"

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the loop reads the number from the pipe.
void onSignal(int signal) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

bool installSignals() {
    if (pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaction(signal, &action, nullptr);
    // A test that stops reading our stdout must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace velmora::sim;
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "velmora-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string error;
    PtyDevice device;
    FrameLog framesLog;
    if (!installSignals() || !device.open(error) ||
        (!options.framesLogPath.empty() && !framesLog.open(options.framesLogPath, error)) ||
        (!options.linkPath.empty() && !makeLink(options.linkPath, device.slavePath(), error))) {
        std::fprintf(stderr, "velmora-sim: %s\n",
                     error.empty() ? "cannot set up signals" : error.c_str());
        return 1;
    }
    std::printf("%s\n", device.slavePath().c_str());
    std::fflush(stdout);
    Simulator(options, device, signalPipe[0], framesLog).run();
    if (!options.linkPath.empty()) removeLink(options.linkPath, device.slavePath());
    return 0;
}
