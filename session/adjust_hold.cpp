#include "session/adjust_hold.h"

#include <QString>
#include <array>

namespace velmora {

namespace {

constexpr qint64 kHoldStepNs = 500'000'000;
constexpr qint64 kReleaseWaitNs = 500'000'000;

} // namespace

AdjustStep StepOfButton(int number) {
    static constexpr std::array<AdjustStep, 8> kSteps{{{true, 1000},
                                                       {true, -1000},
                                                       {true, 100},
                                                       {true, -100},
                                                       {false, 100},
                                                       {false, -100},
                                                       {false, 10},
                                                       {false, -10}}};
    return kSteps.at(number - 1);
}

QString SetpointCaption(bool voltage, int setpoint) {
    return voltage ? QStringLiteral("%1mV").arg(setpoint, 5, 10, QChar(u'0'))
                   : QStringLiteral("%1mA").arg(setpoint, 4, 10, QChar(u'0'));
}

AdjustHold::AdjustHold(Clock& clock, std::function<void(int)> step,
                       std::function<void()> releaseDue)
    : clock_(clock), step_(std::move(step)), releaseDue_(std::move(releaseDue)),
      stepTimer_(clock, [this] { stepAgain(); }),
      releaseTimer_(clock, [this] { releaseCameDue(); }) {}

AdjustHold::~AdjustHold() = default;

void AdjustHold::press(int button) {
    held_ = true;
    button_ = button;
    step_(button);
    stepTimer_.start(kHoldStepNs);
}

void AdjustHold::stepAgain() {
    if (!held_) return;
    step_(button_);
    stepTimer_.start(kHoldStepNs);
}

void AdjustHold::release() {
    // A release during the half second after a step takes no further step.
    end();
    releases_.push_back(clock_.monotonicNs() + kReleaseWaitNs);
    if (!releaseTimer_.isActive()) releaseTimer_.startAt(releases_.front());
}

void AdjustHold::end() {
    held_ = false;
    stepTimer_.stop();
}

void AdjustHold::releaseCameDue() {
    releases_.pop_front();
    if (!releases_.empty()) releaseTimer_.startAt(releases_.front());
    ++deferred_;
    if (held_) return;
    // The releases that came due during a later hold go out with this one.
    while (deferred_ > 0) {
        --deferred_;
        releaseDue_();
    }
}

} // namespace velmora
