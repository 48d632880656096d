#pragma once
// A clock the test moves by hand: timers fire in the order they are due,
// each at its own moment, and nothing ever sleeps.

#include "core/clock.h"

#include <map>

namespace velmora::test {

/// Starts at a given local date and time; `advance` moves both clocks on
/// together and fires every timer due on the way.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2027, 1, 1), QTime(8, 0)));
    ~FakeClock() override;

    qint64 monotonicNs() const override { return nowNs_; }
    QDateTime localNow() const override { return start_.addMSecs(sinceStartMs()); }
    qint64 epochMs() const override { return start_.toMSecsSinceEpoch() + sinceStartMs(); }
    std::unique_ptr<TimerBackend> makeTimer(std::function<void()> fire) override;

    /// Moves on by `ns`, firing the timers due meanwhile in order; a timer a
    /// firing starts fires too, if it falls due within the step.
    void advance(qint64 ns);
    void advanceMs(qint64 ms) { advance(ms * kNsPerMs); }
    /// Fires what is due now (timers started with no delay).
    void settle() { advance(0); }
    /// Moves the wall clock (a user setting the system clock); the monotonic
    /// clock stays.
    void setLocalNow(const QDateTime& now) { start_ = now.addMSecs(-sinceStartMs()); }
    /// Timers waiting to fire.
    std::size_t pending() const { return due_.size(); }

  private:
    class Backend;
    friend class Backend;

    // The monotonic clock starts far from zero, as a real one does.
    static constexpr qint64 kStartNs = 1'000'000'000'000;
    qint64 sinceStartMs() const { return (nowNs_ - kStartNs) / kNsPerMs; }

    QDateTime start_;
    qint64 nowNs_ = kStartNs;
    quint64 order_ = 0;
    std::multimap<std::pair<qint64, quint64>, Backend*> due_;
};

} // namespace velmora::test
