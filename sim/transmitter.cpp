#include "sim/transmitter.h"

#include <utility>

#include "sim/frame.h"

namespace velmora::sim {

Transmitter::Transmitter(const TransmitPlan& plan, double start)
    : plan_(plan), start_(start), period_(1.0 / plan.framesPerSecond), frameAt_(start) {}

std::string Transmitter::due(double now, const std::function<Reading()>& read) {
    if (plan_.pieces > 0) return streamPiece(now, read);
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

// The line's full rate: a piece goes out once its last character would have
// been on the line, frame after frame with no gap between them.
std::string Transmitter::streamPiece(double now, const std::function<Reading()>& read) {
    if (now < frameAt_) return {};
    const auto size = static_cast<std::size_t>(plan_.pieces);
    const double pieceTime = period_ * static_cast<double>(size) / 12.0;
    frameAt_ += pieceTime;
    if (frameAt_ < now) frameAt_ = now + pieceTime;
    if (plan_.mute || silentAt(now)) {
        stream_.clear();
        return {};
    }
    while (stream_.size() < size)
        stream_ += nextFrame(read());
    std::string piece = stream_.substr(0, size);
    stream_.erase(0, size);
    return piece;
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
    // Numbered frames all differ, so each one the PC shows is recorded.
    const double amps = plan_.count ? static_cast<double>(frames_ % 1000) / 100.0 : reading.amps;
    std::string frame = formatFrame(reading.volts, amps);
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
