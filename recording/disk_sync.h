#pragma once
// Getting recorded lines onto the disk without making the window wait.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace velmora {

/// Puts what was written to a file onto the disk in the background. A line is
/// in the system's hands the moment it is written (a crash of the program
/// keeps it); this makes a power cut keep it too, a moment later, while the
/// receive handler goes on with the next frame instead of waiting for a slow
/// disk. One sync covers every line written before it.
class DiskSync {
  public:
    DiskSync() = default;
    ~DiskSync() { stop(); }
    DiskSync(const DiskSync&) = delete;
    DiskSync& operator=(const DiskSync&) = delete;

    /// Starts syncing the file open on `fd` (which stays the caller's).
    void start(int fd);
    /// Asks for what has been written so far to reach the disk.
    void request();
    /// Waits until what was written has reached the disk, then ends.
    void stop();

  private:
    void run();

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int fd_ = -1; // our own duplicate, so closing the file cannot pull it away
    bool pending_ = false;
    bool stopping_ = false;
};

} // namespace velmora
