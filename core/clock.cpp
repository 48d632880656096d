#include "core/clock.h"

#include <QTimer>
#include <chrono>

namespace velmora {

namespace {

// A QTimer rounded up to the millisecond: a wake-up a little early would
// only have to be put off again.
class QtTimerBackend final : public TimerBackend {
  public:
    QtTimerBackend(const Clock& clock, std::function<void()> fire) : clock_(clock) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(fire));
    }
    void start(qint64 dueNs) override {
        const qint64 inNs = std::max<qint64>(dueNs - clock_.monotonicNs(), 0);
        timer_.start(std::chrono::milliseconds((inNs + kNsPerMs - 1) / kNsPerMs));
    }
    void stop() override { timer_.stop(); }

  private:
    const Clock& clock_;
    QTimer timer_;
};

} // namespace

qint64 RealClock::monotonicNs() const {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime RealClock::localNow() const {
    return QDateTime::currentDateTime();
}

qint64 RealClock::epochMs() const {
    return QDateTime::currentMSecsSinceEpoch();
}

std::unique_ptr<TimerBackend> RealClock::makeTimer(std::function<void()> fire) {
    return std::make_unique<QtTimerBackend>(*this, std::move(fire));
}

Timer::Timer(Clock& clock, std::function<void()> action)
    : clock_(clock), action_(std::move(action)), backend_(clock.makeTimer([this] { fire(); })) {}

Timer::~Timer() {
    backend_->stop();
}

void Timer::start(qint64 inNs) {
    startAt(clock_.monotonicNs() + std::max<qint64>(inNs, 0));
}

void Timer::startAt(qint64 dueNs) {
    dueNs_ = dueNs;
    active_ = true;
    backend_->start(dueNs);
}

void Timer::stop() {
    active_ = false;
    backend_->stop();
}

void Timer::fire() {
    // A late wake-up of a timer stopped meanwhile calls nothing.
    if (!active_) return;
    active_ = false;
    // The action may start this timer again, or destroy its owner.
    const std::function<void()> action = action_;
    action();
}

} // namespace velmora
