#include "plot/record_file_load.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace velmora {

namespace {

// Niceness of the reading: the panel's thread takes the processor from it
// at once, also on a busy machine with two cores.
constexpr int kNice = 10;

} // namespace

RecordFileLoad::RecordFileLoad(const QString& path, const PlanInputs& plan)
    // The application owns it too: a load still ending when the program
    // quits is waited for there, not cut off in the middle.
    : QObject(QCoreApplication::instance()), size_(QFileInfo(path).size()) {
    connect(&poll_, &QTimer::timeout, this, &RecordFileLoad::poll);
    poll_.start(kPollMs);
    thread_ = std::thread([this, path, plan] {
        setpriority(PRIO_PROCESS, id_t(gettid()), kNice);
        result_.file = LoadRecordFile(path, plan, {&cancel_, &bytesRead_});
        if (result_.file.plan) {
            result_.plan = PictureOf(*result_.file.plan);
            result_.file.plan.reset();
        }
        done_.store(true, std::memory_order_release);
    });
}

RecordFileLoad::~RecordFileLoad() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

double RecordFileLoad::share() const {
    if (size_ <= 0) return 0;
    return std::min(1.0, double(bytesRead_.load(std::memory_order_relaxed)) / double(size_));
}

void RecordFileLoad::abandon() {
    cancel_ = true;
}

void RecordFileLoad::poll() {
    if (!done_.load(std::memory_order_acquire)) {
        emit progressed(share());
        return;
    }
    poll_.stop();
    thread_.join(); // it has ended, or is just returning
    emit finished();
    if (cancel_) deleteLater();
}

} // namespace velmora
