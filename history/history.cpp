#include "history/history.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

constexpr qint64 kChunkSamples = 65'536;

// A sample as stored: time from its block's start, then the two values.
struct Packed {
    quint32 offsetMs;
    quint16 decivolts;
    quint16 centiamps;
};
static_assert(sizeof(Packed) == 8);

} // namespace

struct History::Chunk {
    qint64 baseMs;
    std::vector<Packed> samples;
    Sample at(qint64 i) const {
        const Packed& p = samples[static_cast<size_t>(i)];
        return {baseMs + p.offsetMs, {p.decivolts, p.centiamps}};
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
        chunks_.push_back(std::move(fresh));
        chunk = chunks_.back().get();
    }
    chunk->samples.push_back({static_cast<quint32>(ms - chunk->baseMs),
                              static_cast<quint16>(std::clamp(values.decivolts, 0, 65535)),
                              static_cast<quint16>(std::clamp(values.centiamps, 0, 65535))});
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

Envelope History::envelope(qint64 fromMs, qint64 toMs, int buckets) const {
    Envelope out;
    if (size_ == 0 || buckets <= 0 || toMs <= fromMs) return out;
    const qint64 span = toMs - fromMs;
    // Samples outside the range are columns of their own, -1 and `buckets`.
    const auto columnOf = [&](qint64 ms) -> qint64 {
        return ms < fromMs ? -1
               : ms > toMs ? qint64(buckets)
                           : (ms - fromMs) * buckets / (span + 1);
    };
    // Where the column after `column` starts: one division a column, not one a sample.
    const auto endOf = [&](qint64 column) -> qint64 {
        if (column < 0) return fromMs;
        if (column >= buckets) return std::numeric_limits<qint64>::max();
        return fromMs + ((column + 1) * (span + 1) + buckets - 1) / buckets;
    };
    const auto put = [&out](qint64 ms, double v, double a, double w) {
        out.keys.push_back(double(ms) / 1000.0);
        out.volts.push_back(v / 10.0);
        out.amps.push_back(a / 100.0);
        out.watts.push_back(w / 1000.0);
    };
    struct Column {
        qint64 index = 0, ms = 0, endMs = std::numeric_limits<qint64>::min();
        int count = 0, vMin = 0, vMax = 0, aMin = 0, aMax = 0, wMin = 0, wMax = 0;
    } c;
    // Both extremes at the column's one time, smallest first: a vertical bar.
    // At the times of the first and last sample they would draw a slope the
    // data does not have, a sawtooth where the values alternate fast.
    const auto flush = [&] {
        if (c.count == 0) return;
        put(c.ms, c.vMin, c.aMin, c.wMin);
        if (c.count > 1) put(c.ms, c.vMax, c.aMax, c.wMax);
    };
    qint64 skip = std::max<qint64>(firstIndexAtOrAfter(fromMs) - 1, 0);
    for (const auto& chunk : chunks_) {
        const qint64 n = qint64(chunk->samples.size());
        if (skip >= n) {
            skip -= n;
            continue;
        }
        for (qint64 i = skip; i < n; ++i) {
            const Packed& p = chunk->samples[size_t(i)];
            const qint64 ms = chunk->baseMs + p.offsetMs;
            const int v = p.decivolts, a = p.centiamps, w = v * a;
            if (ms >= c.endMs) {
                flush();
                const qint64 index = columnOf(ms);
                c = {index, ms, endOf(index), 0, v, v, a, a, w, w};
            }
            ++c.count;
            c.vMin = std::min(c.vMin, v), c.vMax = std::max(c.vMax, v);
            c.aMin = std::min(c.aMin, a), c.aMax = std::max(c.aMax, a);
            c.wMin = std::min(c.wMin, w), c.wMax = std::max(c.wMax, w);
            // The one sample after the range is enough to reach the edge.
            if (c.index >= buckets) {
                flush();
                return out;
            }
        }
        skip = 0;
    }
    flush();
    return out;
}

qint64 History::bytesHeld() const {
    qint64 bytes = qint64(setpoints_.size() * sizeof(SetpointStep));
    for (const auto& chunk : chunks_)
        bytes += qint64(chunk->samples.capacity() * sizeof(Packed) + sizeof(Chunk));
    return bytes;
}

} // namespace velmora
