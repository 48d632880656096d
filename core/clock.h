#pragma once
// The time the program goes by: a monotonic clock for intervals, the local
// date and time for stamps, and single-shot timers on the monotonic clock.
// The program runs on the real one; tests drive a fake one by hand.

#include <QDateTime>
#include <functional>
#include <memory>

namespace velmora {

class Timer;

/// Where a timer's wake-up comes from.
class TimerBackend {
  public:
    virtual ~TimerBackend() = default;
    /// Calls the timer's action once the monotonic clock reaches `dueNs`.
    virtual void start(qint64 dueNs) = 0;
    virtual void stop() = 0;
};

/// A monotonic clock, the wall clock, and the timers that wake on them.
class Clock {
  public:
    virtual ~Clock() = default;
    /// Nanoseconds on a monotonic clock; unaffected by midnight or clock changes.
    virtual qint64 monotonicNs() const = 0;
    /// The present local date and time.
    virtual QDateTime localNow() const = 0;
    /// The wall clock in ms since 1970 (UTC): what localNow() shows, without
    /// looking up the time zone, which costs more than handling a frame.
    virtual qint64 epochMs() const = 0;
    /// A wake-up source that calls `fire` when due.
    virtual std::unique_ptr<TimerBackend> makeTimer(std::function<void()> fire) = 0;
    /// One that calls it within microseconds of its time rather than
    /// anywhere in the millisecond after it, for a fd of its own.
    virtual std::unique_ptr<TimerBackend> makeFineTimer(std::function<void()> fire) {
        return makeTimer(std::move(fire));
    }
};

/// The system's clocks, with timers on the thread's event loop.
class RealClock final : public Clock {
  public:
    qint64 monotonicNs() const override;
    QDateTime localNow() const override;
    qint64 epochMs() const override;
    std::unique_ptr<TimerBackend> makeTimer(std::function<void()> fire) override;
    std::unique_ptr<TimerBackend> makeFineTimer(std::function<void()> fire) override;
};

/// How closely a timer keeps its time.
enum class TimerGrain { Millisecond, Microsecond };

/// A single-shot timer: calls its action once, when its time has come.
/// Destroying or stopping it before then calls nothing.
class Timer {
  public:
    Timer(Clock& clock, std::function<void()> action, TimerGrain grain = TimerGrain::Millisecond);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    /// (Re)starts it to fire `inNs` from now; 0 fires at the next turn.
    void start(qint64 inNs);
    /// (Re)starts it to fire at `dueNs` on the monotonic clock.
    void startAt(qint64 dueNs);
    void stop();
    bool isActive() const { return active_; }
    qint64 dueNs() const { return dueNs_; }

  private:
    void fire();

    Clock& clock_;
    std::function<void()> action_;
    std::unique_ptr<TimerBackend> backend_;
    qint64 dueNs_ = 0;
    bool active_ = false;
};

inline constexpr qint64 kNsPerMs = 1'000'000;
inline constexpr qint64 kNsPerSecond = 1'000'000'000;

} // namespace velmora
