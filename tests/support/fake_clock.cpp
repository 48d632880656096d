#include "support/fake_clock.h"

namespace velmora::test {

class FakeClock::Backend final : public TimerBackend {
  public:
    Backend(FakeClock& clock, std::function<void()> fire)
        : clock_(&clock), fire_(std::move(fire)) {}
    ~Backend() override { stop(); }
    void start(qint64 dueNs) override {
        stop();
        if (!clock_) return;
        key_ = {std::max(dueNs, clock_->nowNs_), clock_->order_++};
        clock_->due_.emplace(key_, this);
        waiting_ = true;
    }
    void stop() override {
        if (!waiting_ || !clock_) return;
        auto [from, to] = clock_->due_.equal_range(key_);
        for (auto it = from; it != to; ++it)
            if (it->second == this) {
                clock_->due_.erase(it);
                break;
            }
        waiting_ = false;
    }
    void fire() {
        waiting_ = false;
        fire_();
    }
    void forget() {
        waiting_ = false;
        clock_ = nullptr;
    }

  private:
    FakeClock* clock_;
    std::function<void()> fire_;
    std::pair<qint64, quint64> key_{};
    bool waiting_ = false;
};

FakeClock::FakeClock(QDateTime start) {
    setLocalNow(start);
}

FakeClock::~FakeClock() {
    for (auto& [key, backend] : due_)
        backend->forget();
}

std::unique_ptr<TimerBackend> FakeClock::makeTimer(std::function<void()> fire) {
    return std::make_unique<Backend>(*this, std::move(fire));
}

void FakeClock::advance(qint64 ns) {
    const qint64 target = nowNs_ + std::max<qint64>(ns, 0);
    while (!due_.empty() && due_.begin()->first.first <= target) {
        const auto next = due_.begin();
        Backend* backend = next->second;
        nowNs_ = std::max(nowNs_, next->first.first);
        due_.erase(next);
        backend->fire();
    }
    nowNs_ = target;
}

} // namespace velmora::test
