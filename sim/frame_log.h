#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::sim {

// Cuts the bytes that went out on the line back into the frames they carry,
// one frame as soon as its last character has gone out.
//
// A write the line did not take whole loses the frames it carried: they are
// left out, up to the end of the write (for a split one, its last piece).
class FrameCutter {
  public:
    // `bytes` were handed to the line and `sent` of them went out;
    // `midWrite`: a later piece of the same write is still to come.
    std::vector<std::string> wrote(const std::string& bytes, std::size_t sent, bool midWrite);

  private:
    std::string partial_;
    bool dropping_ = false;
};

// The --frames-log file: one line per frame that went out on the line,
// "<milliseconds of the monotonic clock> <12 frame characters>", plus a line
// when the line threw characters away that nobody read. Each line goes to
// the file with a write of its own, so a reader never sees half of one.
class FrameLog {
  public:
    FrameLog() = default;
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    // Opens `path` for appending; on failure says why.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return fd_ >= 0; }

    void wrote(const std::string& bytes, std::size_t sent, bool midWrite);
    void dropped(std::size_t characters);

  private:
    void line(const std::string& text);

    int fd_ = -1;
    FrameCutter cutter_;
};

// Milliseconds of the monotonic clock (CLOCK_MONOTONIC, std::chrono::steady_clock).
std::int64_t monotonicMs();
// The same for a reading of that clock in seconds.
std::int64_t monotonicMs(double steadySeconds);

// A line as the frames log and --stamp write it: "<ms> <text>", no line end.
std::string stampedLine(std::int64_t ms, const std::string& text);

} // namespace velmora::sim
