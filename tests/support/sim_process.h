#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace velmora::test {

using std::chrono::milliseconds;

// The simulated unit (build/bin/velmora-sim) as a child process whose stdout
// and stderr the test reads.
class SimProcess {
  public:
    // Starts velmora-sim with `args` and waits for the device path on its
    // first line; devicePath() stays empty if that does not come.
    explicit SimProcess(const std::vector<std::string>& args,
                        milliseconds startTimeout = milliseconds(5000));
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    static std::string binary();

    const std::string& devicePath() const { return devicePath_; }
    pid_t pid() const { return pid_; }

    // The next line on stdout, without its newline; nothing on timeout or end.
    std::optional<std::string> readLine(milliseconds timeout);
    // Skips lines until one starts with `prefix`.
    std::optional<std::string> waitForLine(std::string_view prefix, milliseconds timeout);

    void signal(int number) const;
    // Exit status once the process ends; -1 if it is still running after
    // `timeout` or died from a signal.
    int waitForExit(milliseconds timeout);
    // All that the process wrote on stderr, once it has ended.
    std::string errorOutput();

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string buffer_;
    std::string devicePath_;
    bool reaped_ = false;
    int status_ = -1;
};

// Opens a serial device the way the PC does: raw 9600 8N1, not as a
// controlling terminal, non-blocking. Returns -1 on failure.
int openSerial(const std::string& path);

// One chunk as a single read() returned it, with when it came.
struct Arrival {
    std::string bytes;
    std::chrono::steady_clock::time_point at;
};

// Reads for `duration` (or until `enough` bytes came) and keeps each chunk apart.
std::vector<Arrival> readArrivals(int fd, milliseconds duration, std::size_t enough = SIZE_MAX);

// Everything that arrives within `duration` (or until `enough` bytes came).
std::string readFor(int fd, milliseconds duration, std::size_t enough = SIZE_MAX);

// Cuts a byte stream into 12-character frames; a short rest is dropped.
std::vector<std::string> framesOf(const std::string& stream);

// Writes one character at a time with `gap` between them, as the PC does.
void sendSlowly(int fd, std::string_view bytes, milliseconds gap = milliseconds(10));

} // namespace velmora::test
