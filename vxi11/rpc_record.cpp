#include "vxi11/rpc_record.h"

#include <QtEndian>
#include <algorithm>

namespace velmora::vxi11 {

namespace {
constexpr quint32 kLastFragment = 0x80000000u;
}

QByteArray FrameRecord(QByteArrayView body) {
    QByteArray out(4, '\0');
    qToBigEndian(kLastFragment | quint32(body.size()), out.data());
    out.append(body.data(), body.size());
    return out;
}

void RecordReader::append(QByteArrayView bytes) {
    if (start_ > 0) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes.data(), bytes.size());
}

std::optional<RecordReader::Event> RecordReader::next() {
    for (;;) {
        const qsizetype available = buffer_.size() - start_;
        if (!inFragment_) {
            if (available < 4) return std::nullopt;
            const quint32 header = qFromBigEndian<quint32>(buffer_.constData() + start_);
            start_ += 4;
            inFragment_ = true;
            lastFragment_ = (header & kLastFragment) != 0;
            fragmentLeft_ = header & ~kLastFragment;
            announced_ += fragmentLeft_;
            if (announced_ > quint64(max_)) oversized_ = true;
            continue;
        }
        const qsizetype n = std::min<qsizetype>(fragmentLeft_, available);
        qsizetype keep = n;
        if (oversized_)
            keep = reported_ ? 0 : std::clamp<qsizetype>(kHeadBytes - record_.size(), 0, n);
        record_.append(buffer_.constData() + start_, keep);
        start_ += n;
        fragmentLeft_ -= quint32(n);
        if (oversized_ && !reported_ && record_.size() >= kHeadBytes) {
            reported_ = true;
            return Event{Event::Oversized, std::exchange(record_, {})};
        }
        if (fragmentLeft_ > 0) return std::nullopt; // the rest is still on its way
        inFragment_ = false;
        if (lastFragment_) {
            if (auto event = endOfRecord()) return event;
        }
    }
}

std::optional<RecordReader::Event> RecordReader::endOfRecord() {
    std::optional<Event> event;
    if (!oversized_)
        event = Event{Event::Record, std::exchange(record_, {})};
    else if (!reported_)
        event = Event{Event::Oversized, std::exchange(record_, {})};
    record_.clear();
    announced_ = 0;
    oversized_ = reported_ = false;
    return event;
}

} // namespace velmora::vxi11
