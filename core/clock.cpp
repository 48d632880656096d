#include "core/clock.h"

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

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

// A timerfd the event loop watches: the loop's own timers wake anywhere in
// the millisecond after their time, which stretches every pause between a
// command's characters by half a millisecond on average.
class TimerFdBackend final : public TimerBackend {
  public:
    // Takes `fd`, a timerfd on CLOCK_MONOTONIC.
    TimerFdBackend(int fd, std::function<void()> fire)
        : fd_(fd), notifier_(fd, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this, fire = std::move(fire)] {
            std::uint64_t expirations = 0;
            if (::read(fd_, &expirations, sizeof expirations) == sizeof expirations) fire();
        });
    }
    ~TimerFdBackend() override {
        notifier_.setEnabled(false);
        ::close(fd_);
    }
    // Setting it anew also forgets an expiry not yet handled.
    void start(qint64 dueNs) override {
        const qint64 at = std::max<qint64>(dueNs, 1); // zero would disarm it
        itimerspec due{};
        due.it_value.tv_sec = time_t(at / kNsPerSecond);
        due.it_value.tv_nsec = long(at % kNsPerSecond);
        ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &due, nullptr);
    }
    void stop() override {
        const itimerspec off{};
        ::timerfd_settime(fd_, 0, &off, nullptr);
    }

  private:
    int fd_;
    QSocketNotifier notifier_;
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

std::unique_ptr<TimerBackend> RealClock::makeFineTimer(std::function<void()> fire) {
    // steady_clock is CLOCK_MONOTONIC, so due times carry over as they are.
    static_assert(std::chrono::steady_clock::is_steady);
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return makeTimer(std::move(fire));
    return std::make_unique<TimerFdBackend>(fd, std::move(fire));
}

Timer::Timer(Clock& clock, std::function<void()> action, TimerGrain grain)
    : clock_(clock), action_(std::move(action)),
      backend_(grain == TimerGrain::Microsecond ? clock.makeFineTimer([this] { fire(); })
                                                : clock.makeTimer([this] { fire(); })) {}

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
