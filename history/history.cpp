#include "history/history.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

constexpr qint64 kChunkSamples = 65'536;
// Samples a summary covers: a long view takes them a run at a time.
constexpr qint64 kRunSamples = 256;

// A sample as stored: time from its block's start, then the two values.
struct Packed {
    quint32 offsetMs;
    quint16 decivolts;
    quint16 centiamps;
};
static_assert(sizeof(Packed) == 8);

// The extremes of a run of samples, or of a column of the envelope.
struct Extremes {
    int vMin, vMax, aMin, aMax, wMin, wMax;
    static Extremes of(int v, int a) { return {v, v, a, a, v * a, v * a}; }
    void take(const Extremes& e) {
        vMin = std::min(vMin, e.vMin), vMax = std::max(vMax, e.vMax);
        aMin = std::min(aMin, e.aMin), aMax = std::max(aMax, e.aMax);
        wMin = std::min(wMin, e.wMin), wMax = std::max(wMax, e.wMax);
    }
};

} // namespace

struct History::Chunk {
    qint64 baseMs;
    std::vector<Packed> samples;
    std::vector<Extremes> runs; // one per kRunSamples samples, the last one as far as it goes
    Sample at(qint64 i) const {
        const Packed& p = samples[static_cast<size_t>(i)];
        return {baseMs + p.offsetMs, {p.decivolts, p.centiamps}};
    }
    qint64 msAt(qint64 i) const { return baseMs + samples[static_cast<size_t>(i)].offsetMs; }
    void add(quint32 offsetMs, quint16 v, quint16 a) {
        if (samples.size() % kRunSamples == 0)
            runs.push_back(Extremes::of(v, a));
        else
            runs.back().take(Extremes::of(v, a));
        samples.push_back({offsetMs, v, a});
    }
};

History::History(qint64 capacity) : capacity_(std::max<qint64>(capacity, 1)) {}
History::~History() = default;

void History::addMeasurement(qint64 ms, Values values) {
    if (const auto newest = last()) ms = std::max(ms, newest->ms);
    Chunk* chunk = chunks_.empty() ? nullptr : chunks_.back().get();
    // Blocks of ~65k samples; a block spanning more than 49 days of gaps
    // would overflow its offsets, so a new one starts.
    if (!chunk || qint64(chunk->samples.size()) == kChunkSamples ||
        ms - chunk->baseMs > std::numeric_limits<quint32>::max()) {
        auto fresh = std::make_unique<Chunk>();
        fresh->baseMs = ms;
        fresh->samples.reserve(static_cast<size_t>(std::min(kChunkSamples, capacity_)));
        fresh->runs.reserve(fresh->samples.capacity() / kRunSamples + 1);
        chunks_.push_back(std::move(fresh));
        chunk = chunks_.back().get();
    }
    chunk->add(static_cast<quint32>(ms - chunk->baseMs),
               static_cast<quint16>(std::clamp(values.decivolts, 0, 65535)),
               static_cast<quint16>(std::clamp(values.centiamps, 0, 65535)));
    ++size_;
    while (chunks_.size() > 1 && size_ - qint64(chunks_.front()->samples.size()) >= capacity_) {
        size_ -= qint64(chunks_.front()->samples.size());
        chunks_.pop_front();
    }
    ++revision_;
}

void History::addSetpoints(qint64 ms, Setpoints setpoints) {
    if (!setpoints_.empty()) ms = std::max(ms, setpoints_.back().ms);
    setpoints_.push_back({ms, setpoints});
    if (qint64(setpoints_.size()) > kMaxSetpointSteps) setpoints_.pop_front();
    ++revision_;
}

Sample History::at(qint64 index) const {
    for (const auto& chunk : chunks_) {
        const qint64 n = qint64(chunk->samples.size());
        if (index < n) return chunk->at(index);
        index -= n;
    }
    return {};
}

std::optional<Sample> History::first() const {
    if (size_ == 0) return std::nullopt;
    return chunks_.front()->at(0);
}

std::optional<Sample> History::last() const {
    if (size_ == 0) return std::nullopt;
    const Chunk& chunk = *chunks_.back();
    return chunk.at(qint64(chunk.samples.size()) - 1);
}

qint64 History::firstIndexAtOrAfter(qint64 ms) const {
    qint64 before = 0;
    for (const auto& chunk : chunks_) {
        const qint64 n = qint64(chunk->samples.size());
        if (chunk->at(n - 1).ms >= ms) {
            const qint64 offset = ms - chunk->baseMs;
            if (offset <= 0) return before;
            const auto it = std::lower_bound(
                chunk->samples.begin(), chunk->samples.end(), offset,
                [](const Packed& p, qint64 value) { return qint64(p.offsetMs) < value; });
            return before + (it - chunk->samples.begin());
        }
        before += n;
    }
    return size_;
}

std::optional<Sample> History::nearest(qint64 ms) const {
    if (size_ == 0) return std::nullopt;
    const qint64 i = firstIndexAtOrAfter(ms);
    if (i == 0) return at(0);
    if (i == size_) return at(size_ - 1);
    const Sample after = at(i), before = at(i - 1);
    return (after.ms - ms < ms - before.ms) ? after : before;
}

namespace {

// Gathers an envelope column by column, in time order. Samples outside the
// range are columns of their own, -1 and `columns`.
class EnvelopeColumns {
  public:
    EnvelopeColumns(qint64 fromMs, qint64 toMs, int columns)
        : fromMs_(fromMs), span_(toMs - fromMs), columns_(columns) {}

    // Whether every sample up to `lastMs`, on from the last one taken, lies
    // in the column being gathered.
    bool inColumn(qint64 lastMs) const { return count_ > 0 && lastMs < endMs_; }
    // Whether the sample after the range has been taken: the lines reach the
    // edge, so nothing more is needed.
    bool pastEnd() const { return index_ >= columns_; }

    void take(qint64 ms, const Extremes& e, qint64 samples) {
        if (!inColumn(ms))
            start(ms, e);
        else
            extremes_.take(e);
        count_ += samples;
    }

    Envelope finish() {
        flush();
        return std::move(out_);
    }

  private:
    void start(qint64 ms, const Extremes& e) {
        flush();
        index_ = ms < fromMs_           ? -1
                 : ms > fromMs_ + span_ ? qint64(columns_)
                                        : (ms - fromMs_) * columns_ / (span_ + 1);
        // Where the next column starts: one division a column, not one a sample.
        endMs_ = index_ < 0 ? fromMs_
                 : index_ >= columns_
                     ? std::numeric_limits<qint64>::max()
                     : fromMs_ + ((index_ + 1) * (span_ + 1) + columns_ - 1) / columns_;
        ms_ = ms;
        extremes_ = e;
        count_ = 0;
    }
    // Both extremes at the column's one time, smallest first: a vertical bar.
    // At the times of the first and last sample they would draw a slope the
    // data does not have, a sawtooth where the values alternate fast.
    void flush() {
        if (count_ == 0) return;
        put(extremes_.vMin, extremes_.aMin, extremes_.wMin);
        if (count_ > 1) put(extremes_.vMax, extremes_.aMax, extremes_.wMax);
    }
    void put(double v, double a, double w) {
        out_.keys.push_back(double(ms_) / 1000.0);
        out_.volts.push_back(v / 10.0);
        out_.amps.push_back(a / 100.0);
        out_.watts.push_back(w / 1000.0);
    }

    qint64 fromMs_, span_;
    int columns_;
    qint64 index_ = 0, ms_ = 0, endMs_ = 0, count_ = 0;
    Extremes extremes_{};
    Envelope out_;
};

} // namespace

Envelope History::envelope(qint64 fromMs, qint64 toMs, int buckets) const {
    if (size_ == 0 || buckets <= 0 || toMs <= fromMs) return {};
    EnvelopeColumns columns(fromMs, toMs, buckets);
    qint64 skip = std::max<qint64>(firstIndexAtOrAfter(fromMs) - 1, 0);
    for (const auto& chunk : chunks_) {
        const qint64 n = qint64(chunk->samples.size());
        if (skip >= n) {
            skip -= n;
            continue;
        }
        for (qint64 i = skip; i < n;) {
            // A whole run within the column: its summary instead of its samples.
            if (i % kRunSamples == 0 && i + kRunSamples <= n &&
                columns.inColumn(chunk->msAt(i + kRunSamples - 1))) {
                columns.take(chunk->msAt(i), chunk->runs[size_t(i / kRunSamples)], kRunSamples);
                i += kRunSamples;
                continue;
            }
            const Packed& p = chunk->samples[size_t(i++)];
            columns.take(chunk->baseMs + p.offsetMs, Extremes::of(p.decivolts, p.centiamps), 1);
            if (columns.pastEnd()) return columns.finish();
        }
        skip = 0;
    }
    return columns.finish();
}

qint64 History::bytesHeld() const {
    qint64 bytes = qint64(setpoints_.size() * sizeof(SetpointStep));
    for (const auto& chunk : chunks_)
        bytes += qint64(chunk->samples.capacity() * sizeof(Packed) +
                        chunk->runs.capacity() * sizeof(Extremes) + sizeof(Chunk));
    return bytes;
}

} // namespace velmora
