// Meters and protection: every readable frame counts on its arrival time; a
// trip or the off-timer zeroes the output through the door and says so.

#include "meters/meter_text.h"
#include "meters/off_timer.h"
#include "session/protection_store.h"
#include "session/session.h"

namespace velmora {

namespace {

const QString kProtectionTitle = QStringLiteral("Protection");

} // namespace

void Session::takeForMeters(const Measurement& frame) {
    // A frame that cannot be read counts neither toward nor against a trip.
    if (!frame.values) return;
    const Values v = *frame.values;
    meters_.take(frame.atNs, v);
    regulation_ = InferRegulation(v, unit_->setpoints());
    // Ending, nothing more goes out: a trip could not zero anything.
    if (ending()) return;
    const std::optional<Trip> trip = protection_.take(v);
    if (!trip) return;
    // At once, whatever else is going on: the command on the line finishes,
    // then the zero goes out. The text is there for whoever follows the zeroing.
    tripText_ = TripMessage(*trip, frame.at().time());
    unit_->request(SetpointSource::Trip, {});
    unit_->holdAtZero(tripText_);
    emit protectionTripped(tripText_);
    emit protectionChanged();
}

void Session::resetMeters() {
    meters_.reset();
    regulation_.reset();
}

bool Session::setProtection(const ProtectionSettings& settings) {
    protection_.setSettings(settings);
    emit protectionChanged();
    return stored(SaveProtection(store_, settings));
}

void Session::clearTrip() {
    if (!tripped()) return;
    protection_.clear();
    tripText_.clear();
    unit_->releaseHold();
    emit protectionChanged();
}

void Session::startOffTimer(qint64 seconds) {
    if (seconds > 0)
        offTimer_.start(seconds * kNsPerSecond);
    else
        offTimer_.stop();
    emit protectionChanged();
}

qint64 Session::offTimerRemaining() const {
    if (!offTimer_.isActive()) return 0;
    return RemainingSeconds(clock_.monotonicNs(), offTimer_.dueNs());
}

void Session::offTimerRanOut() {
    if (ending()) return;
    unit_->request(SetpointSource::OffTimer, {});
    emit message(OffTimerMessage(clock_.localNow().time()), kProtectionTitle);
    emit protectionChanged();
}

} // namespace velmora
