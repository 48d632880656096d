#pragma once
// The measurements and set-points over time, as data only: what the plot
// window draws and what "Save data…" writes.

#include "history/values.h"

#include <QtGlobal>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

/// One measurement at its time (ms since the epoch).
struct Sample {
    qint64 ms = 0;
    Values values;
};

/// Set-points as asked of the unit from `ms` on.
struct SetpointStep {
    qint64 ms = 0;
    Setpoints setpoints;
};

/// What a stretch of time looks like at a given width: for each non-empty
/// column two points at the time of its first sample, the smallest value of
/// each quantity and then the largest (one point for a lone sample), so a
/// column draws as a vertical bar. Keys in seconds since the epoch, values
/// in V, A and W.
struct Envelope {
    std::vector<double> keys, volts, amps, watts;
};

/// Measurements and set-points in time order, bounded: past `capacity`
/// samples the oldest go first (a block at a time). Eight bytes a sample.
class History {
  public:
    /// 24 hours at the line's full rate of 80 frames a second.
    static constexpr qint64 kDefaultCapacity = 24LL * 3600 * 80;
    static constexpr qint64 kMaxSetpointSteps = 100'000;

    explicit History(qint64 capacity = kDefaultCapacity);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    /// Adds a measurement; a time before the last one (a clock set back)
    /// counts as the last one, so the history stays in order.
    void addMeasurement(qint64 ms, Values values);
    void addSetpoints(qint64 ms, Setpoints setpoints);

    qint64 size() const { return size_; }
    qint64 capacity() const { return capacity_; }
    /// Changes with every addition: tells a view whether to draw again.
    quint64 revision() const { return revision_; }
    Sample at(qint64 index) const;
    std::optional<Sample> first() const;
    std::optional<Sample> last() const;
    /// The sample closest in time to `ms`.
    std::optional<Sample> nearest(qint64 ms) const;
    const std::deque<SetpointStep>& setpoints() const { return setpoints_; }

    /// The samples from `fromMs` to `toMs` in `buckets` columns, plus the
    /// samples just outside, so that lines reach the edges.
    Envelope envelope(qint64 fromMs, qint64 toMs, int buckets) const;

    /// Bytes held, samples and set-points together.
    qint64 bytesHeld() const;

  private:
    struct Chunk;
    qint64 firstIndexAtOrAfter(qint64 ms) const;

    qint64 capacity_;
    qint64 size_ = 0;
    quint64 revision_ = 0;
    std::deque<std::unique_ptr<Chunk>> chunks_;
    std::deque<SetpointStep> setpoints_;
};

} // namespace velmora
