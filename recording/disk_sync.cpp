#include "recording/disk_sync.h"

#include <QtGlobal>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace velmora {

namespace {

void SyncToDisk([[maybe_unused]] int fd) {
#ifdef Q_OS_UNIX
    ::fdatasync(fd);
#endif
}

} // namespace

void DiskSync::start(int fd) {
    stop();
#ifdef Q_OS_UNIX
    fd_ = ::dup(fd);
#endif
    if (fd_ < 0) return;
    pending_ = false;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void DiskSync::request() {
    if (fd_ < 0) return;
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
    }
    wake_.notify_one();
}

void DiskSync::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
#ifdef Q_OS_UNIX
    ::close(fd_);
#endif
    fd_ = -1;
}

void DiskSync::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopping_; });
        if (pending_) {
            pending_ = false;
            lock.unlock();
            SyncToDisk(fd_);
            lock.lock();
            continue; // lines written meanwhile are synced before stopping
        }
        if (stopping_) return;
    }
}

} // namespace velmora
