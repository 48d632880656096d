#include "support/sim_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace velmora::test {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is readable or the deadline passes.
bool readable(int fd, Clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, remainingMs(deadline)) > 0 && (p.revents & (POLLIN | POLLHUP)) != 0;
}

} // namespace

SimProcess::SimProcess(const std::vector<std::string>& args, milliseconds startTimeout) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv{binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(cargs[0], cargs.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (auto first = readLine(startTimeout); first && first->rfind("/dev/", 0) == 0)
        devicePath_ = *first;
}

SimProcess::~SimProcess() {
    if (pid_ > 0 && waitForExit(milliseconds(0)) == -1 && !reaped_) {
        signal(SIGTERM);
        if (waitForExit(milliseconds(2000)) == -1 && !reaped_) {
            signal(SIGKILL);
            waitForExit(milliseconds(2000));
        }
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

std::string SimProcess::binary() {
    return std::string(VELMORA_BIN_DIR) + "/velmora-sim";
}

std::optional<std::string> SimProcess::readLine(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto end = buffer_.find('\n'); end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return line;
        }
        if (out_ < 0 || !readable(out_, deadline)) return std::nullopt;
        char chunk[512];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return std::nullopt;
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::optional<std::string> SimProcess::waitForLine(std::string_view prefix, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (auto line = readLine(milliseconds(remainingMs(deadline)))) {
        if (line->rfind(prefix, 0) == 0) return line;
    }
    return std::nullopt;
}

void SimProcess::signal(int number) const {
    if (pid_ > 0 && !reaped_) kill(pid_, number);
}

int SimProcess::waitForExit(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!reaped_ && pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return status_;
}

std::string SimProcess::errorOutput() {
    std::string text;
    char chunk[512];
    ssize_t n = 0;
    while (err_ >= 0 && (n = read(err_, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<std::size_t>(n));
    return text;
}

int openSerial(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

std::vector<Arrival> readArrivals(int fd, milliseconds duration, std::size_t enough) {
    std::vector<Arrival> arrivals;
    std::size_t total = 0;
    const auto deadline = Clock::now() + duration;
    while (total < enough && readable(fd, deadline)) {
        char chunk[512];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) break;
        arrivals.push_back({std::string(chunk, static_cast<std::size_t>(n)), Clock::now()});
        total += static_cast<std::size_t>(n);
    }
    return arrivals;
}

std::string readFor(int fd, milliseconds duration, std::size_t enough) {
    std::string stream;
    for (const Arrival& a : readArrivals(fd, duration, enough))
        stream += a.bytes;
    return stream;
}

std::vector<std::string> framesOf(const std::string& stream) {
    std::vector<std::string> frames;
    for (std::size_t at = 0; at + 12 <= stream.size(); at += 12)
        frames.push_back(stream.substr(at, 12));
    return frames;
}

void sendSlowly(int fd, std::string_view bytes, milliseconds gap) {
    for (const char c : bytes) {
        while (write(fd, &c, 1) != 1 && errno == EAGAIN)
            std::this_thread::sleep_for(milliseconds(1));
        std::this_thread::sleep_for(gap);
    }
}

} // namespace velmora::test
