#include "sim/frame_log.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "sim/frame.h"

namespace velmora::sim {

std::vector<std::string> FrameCutter::wrote(const std::string& bytes, std::size_t sent,
                                            bool midWrite) {
    std::vector<std::string> frames;
    if (sent < bytes.size()) {
        partial_.clear();
        dropping_ = true;
    }
    if (!dropping_) {
        partial_ += bytes;
        std::size_t at = 0;
        for (; partial_.size() - at >= kFrameLength; at += kFrameLength)
            frames.push_back(partial_.substr(at, kFrameLength));
        partial_.erase(0, at);
    }
    // The end of a whole write is the end of a frame: the next one starts clean.
    if (!midWrite) dropping_ = false;
    return frames;
}

FrameLog::~FrameLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool FrameLog::open(const std::string& path, std::string& error) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) error = "cannot open frames log " + path + ": " + std::strerror(errno);
    return fd_ >= 0;
}

void FrameLog::wrote(const std::string& bytes, std::size_t sent, bool midWrite) {
    if (fd_ < 0) return;
    for (const std::string& frame : cutter_.wrote(bytes, sent, midWrite))
        line(frame);
}

void FrameLog::dropped(std::size_t characters) {
    if (fd_ < 0 || characters == 0) return;
    line("dropped " + std::to_string(characters) + " unread characters");
}

void FrameLog::line(const std::string& text) {
    const std::string whole = stampedLine(monotonicMs(), text) + "\n";
    // A full disk costs the log its line, never the unit its line.
    [[maybe_unused]] const ssize_t n = ::write(fd_, whole.data(), whole.size());
}

std::int64_t monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t monotonicMs(double steadySeconds) {
    return static_cast<std::int64_t>(std::floor(steadySeconds * 1000.0));
}

std::string stampedLine(std::int64_t ms, const std::string& text) {
    return std::to_string(ms) + " " + text;
}

} // namespace velmora::sim
