#pragma once
// The press-and-hold of the eight adjust buttons, on timers.

#include "core/clock.h"

#include <deque>
#include <functional>

namespace velmora {

/// What one adjust button does.
struct AdjustStep {
    bool voltage; // the voltage set-point (mV), else the current set-point (mA)
    int delta;    // added on every step
};

/// The step of adjust button 1..8: +1 V, -1 V, +0.1 V, -0.1 V, +100 mA,
/// -100 mA, +10 mA, -10 mA.
AdjustStep StepOfButton(int number);

/// The set-point read-out: "00500mV" for voltage, "0050mA" for current.
QString SetpointCaption(bool voltage, int setpoint);

/// A held button steps at once and then every half second; half a second
/// after a release the set-points are due to go out. One flag for all eight
/// buttons: any release ends the hold. A release that comes due while another
/// hold runs waits for that hold's own release to come due, and both go out.
class AdjustHold {
  public:
    AdjustHold(Clock& clock, std::function<void(int button)> step,
               std::function<void()> releaseDue);
    ~AdjustHold();

    void press(int button);
    void release();
    /// Ends a hold without a release (Zero output): no further step.
    void end();
    bool held() const { return held_; }
    /// Whether a release is waiting to come due.
    bool releasing() const { return !releases_.empty() || deferred_ > 0; }

  private:
    void stepAgain();
    void releaseCameDue();

    Clock& clock_;
    std::function<void(int)> step_;
    std::function<void()> releaseDue_;
    bool held_ = false;
    int button_ = 0;
    Timer stepTimer_;
    std::deque<qint64> releases_; // when each release comes due, in order
    Timer releaseTimer_;
    int deferred_ = 0;
};

} // namespace velmora
