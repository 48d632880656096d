#include "support/frames_log_meters.h"

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace velmora::test {

namespace {

// The digits at `at`, at+1, at+2 as a number; -1 when one is not a digit.
int Digits(const std::string& frame, std::size_t at) {
    int value = 0;
    for (std::size_t i = at; i < at + 3; ++i) {
        if (frame[i] < '0' || frame[i] > '9') return -1;
        value = value * 10 + (frame[i] - '0');
    }
    return value;
}

} // namespace

qint64 MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string FramesBetween(const QByteArray& log, qint64 fromMs, qint64 toMs) {
    std::istringstream lines(log.toStdString());
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        const qint64 at = std::atoll(line.c_str());
        if (at >= fromMs && at <= toMs) kept += line + '\n';
    }
    return kept;
}

Meters MetersOfFramesLog(const std::string& log) {
    Meters meters;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const auto space = line.find(' ');
        if (space == std::string::npos || space == 0 || line.size() != space + 13) continue;
        const std::string stamp = line.substr(0, space), frame = line.substr(space + 1);
        if (stamp.find_first_not_of("0123456789") != std::string::npos || frame[0] != 'D') continue;
        const int decivolts = Digits(frame, 2), centiamps = Digits(frame, 7);
        if (decivolts < 0 || centiamps < 0) continue;
        meters.take(std::stoll(stamp) * 1'000'000, Values{decivolts, centiamps});
    }
    return meters;
}

} // namespace velmora::test
