#pragma once
// Processor time used so far, to show that a wait sleeps instead of spinning.

#include <sys/resource.h>

namespace velmora::test {

/// User + system seconds of this process (RUSAGE_SELF) or this thread (RUSAGE_THREAD).
inline double CpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace velmora::test
