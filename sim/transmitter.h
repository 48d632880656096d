#pragma once

#include <functional>
#include <limits>
#include <string>

#include "sim/supply_model.h"

namespace velmora::sim {

// How the unit sends its measurement frames, faults on the line included.
struct TransmitPlan {
    double framesPerSecond = 4.0;
    int garbleEvery = 0;       // spoil one frame in this many; 0: never
    bool split = false;        // each write in two pieces, kSplitPause apart
    bool join = false;         // two frames in one write
    bool mute = false;         // no frames at all
    int pieces = 0;            // >0: one unbroken stream, in pieces of this many characters
    bool count = false;        // the current read-out carries a frame number instead
    double silentAfter = -1.0; // seconds after start; negative: never silent
    double silentFor = std::numeric_limits<double>::infinity();
};

// A split write breaks after this many characters...
inline constexpr std::size_t kSplitAt = 6;
// ...and its second piece follows this much later, in seconds.
inline constexpr double kSplitPause = 0.025;

// Decides when the unit sends frames and what arrives on the line.
//
// The next frame waits for the second piece of a split one, so with --split
// the rate is at most one write per kSplitPause.
class Transmitter {
  public:
    Transmitter(const TransmitPlan& plan, double start);

    // Returns the bytes to write at time `now` (often none); `read` gives the
    // output shown in a new frame.
    std::string due(double now, const std::function<Reading()>& read);

    // When due() next has something to do.
    double nextWake() const;

    bool silentAt(double now) const;

    // Whether the last write ended inside a frame (a split one, or a piece).
    bool midWrite() const { return !tail_.empty() || !stream_.empty(); }

  private:
    std::string nextFrame(const Reading& reading);
    std::string pieces(std::string write, double now);
    std::string streamPiece(double now, const std::function<Reading()>& read);

    TransmitPlan plan_;
    double start_;
    double period_;
    double frameAt_;
    std::string held_; // first frame of a joined pair
    std::string tail_; // second piece of a split write
    double tailAt_ = 0.0;
    std::string stream_; // characters of the unbroken stream not yet written
    long frames_ = 0;
    long garbled_ = 0;
};

} // namespace velmora::sim
