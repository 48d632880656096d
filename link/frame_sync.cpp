#include "link/frame_sync.h"

#include "unit/measurement.h"

namespace velmora {

namespace {

// How long the reopened port drops what comes after a reset when no frame
// boundary shows. A bad block is most often a frame cut in two: a block is
// read at the 12th waiting character, so the rest of the cut frame is
// still on its way (12.5 ms for a whole frame at 9600 baud, more where an
// adapter delivers it in pieces). Taken as the start of the next block, it
// would spoil that one too. The port stays open meanwhile, so a command being
// sent goes on.
constexpr qint64 kDeafNs = 35'000'000;

} // namespace

void FrameSync::restart() {
    mode_ = Mode::Whole;
    buffer_.clear();
}

void FrameSync::resynchronise(qint64 nowNs) {
    mode_ = Mode::Hunting;
    buffer_.clear();
    huntUntilNs_ = nowNs + kDeafNs;
}

void FrameSync::take(const QByteArray& bytes, qint64 nowNs) {
    if (mode_ == Mode::Hunting && nowNs >= huntUntilNs_) {
        // A gap long enough to end any cut frame: what came before it is
        // dropped, and these characters start the next block.
        restart();
    }
    buffer_ += bytes;
    if (mode_ == Mode::Hunting) hunt();
}

void FrameSync::hunt() {
    for (qsizetype i = 0; i + kFrameLength < buffer_.size(); ++i) {
        if (buffer_.at(i) == 'D' && buffer_.at(i + kFrameLength) == 'D') {
            buffer_.remove(0, i);
            mode_ = Mode::Framed;
            return;
        }
    }
    // Nothing older than the last twelve characters can start a pair.
    if (buffer_.size() > kFrameLength) buffer_.remove(0, buffer_.size() - kFrameLength);
}

bool FrameSync::blockReady() const {
    switch (mode_) {
    case Mode::Whole:
    case Mode::Framed:
        return buffer_.size() >= kFrameLength;
    case Mode::Hunting:
        return false;
    }
    return false;
}

QByteArray FrameSync::read() {
    qint64 count = 0;
    if (mode_ == Mode::Whole) count = buffer_.size();
    if (mode_ == Mode::Framed) count = kFrameLength;
    const QByteArray block = buffer_.left(count);
    buffer_.remove(0, block.size());
    return block;
}

} // namespace velmora
