#include "sim/transmitter.h"

#include <utility>

#include "sim/frame.h"

namespace velmora::sim {

Transmitter::Transmitter(const TransmitPlan& plan, double start)
    : plan_(plan), start_(start), period_(1.0 / plan.framesPerSecond), frameAt_(start) {}

std::string Transmitter::due(double now, const std::function<Reading()>& read) {
    if (!tail_.empty()) {
        if (now < tailAt_) return {};
        return std::exchange(tail_, {});
    }
    if (now < frameAt_) return {};
    // Keep the long-run rate exact, but after a stall start afresh instead of
    // sending a burst of frames to catch up.
    frameAt_ += period_;
    if (frameAt_ < now) frameAt_ = now + period_;
    if (plan_.mute || silentAt(now)) {
        held_.clear();
        return {};
    }
    std::string frame = nextFrame(read());
    if (plan_.join && held_.empty()) {
        held_ = std::move(frame);
        return {};
    }
    return pieces(std::exchange(held_, {}) + frame, now);
}

double Transmitter::nextWake() const {
    return tail_.empty() ? frameAt_ : tailAt_;
}

bool Transmitter::silentAt(double now) const {
    if (plan_.silentAfter < 0.0) return false;
    const double since = now - start_ - plan_.silentAfter;
    return since >= 0.0 && since < plan_.silentFor;
}

std::string Transmitter::nextFrame(const Reading& reading) {
    std::string frame = formatFrame(reading.volts, reading.amps);
    ++frames_;
    if (plan_.garbleEvery > 0 && frames_ % plan_.garbleEvery == 0) {
        // Alternate the two faults so the PC's check of both is exercised.
        frame = garbleFrame(frame, garbled_++ % 2 == 0 ? Garble::BadLead : Garble::BadDigit);
    }
    return frame;
}

std::string Transmitter::pieces(std::string write, double now) {
    if (!plan_.split) return write;
    tail_ = write.substr(kSplitAt);
    tailAt_ = now + kSplitPause;
    write.resize(kSplitAt);
    return write;
}

} // namespace velmora::sim
