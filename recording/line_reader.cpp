#include "recording/line_reader.h"

namespace velmora {

namespace {

constexpr qint64 kChunk = 64 * 1024;

qsizetype FindLineEnd(const QByteArray& buffer, qsizetype from) {
    const char* data = buffer.constData();
    for (qsizetype i = from; i < buffer.size(); ++i)
        if (data[i] == '\n' || data[i] == '\r') return i;
    return -1;
}

} // namespace

bool LineReader::fill() {
    if (pos_ < buffer_.size()) return true;
    buffer_.resize(kChunk);
    const qint64 got = device_ ? device_->read(buffer_.data(), kChunk) : -1;
    buffer_.resize(got > 0 ? got : 0); // a read error ends the file
    pos_ = 0;
    return got > 0;
}

void LineReader::takePendingLf() {
    if (!pendingLf_ || !fill()) return;
    pendingLf_ = false;
    if (buffer_.at(pos_) == '\n') ++pos_;
}

bool LineReader::atEnd() {
    takePendingLf();
    return !fill();
}

std::optional<QByteArray> LineReader::next() {
    tooLong_ = false;
    if (atEnd()) return std::nullopt;
    QByteArray line;
    while (fill()) {
        const qsizetype end = FindLineEnd(buffer_, pos_);
        const qsizetype stop = end < 0 ? buffer_.size() : end;
        const bool keep = longLines_ == LongLines::Kept;
        if (!tooLong_ && line.size() + (stop - pos_) > kMaxLineLength) {
            tooLong_ = true;
            if (!keep) line.clear();
        }
        if (!tooLong_ || keep) line.append(buffer_.constData() + pos_, stop - pos_);
        pos_ = stop;
        if (end >= 0) {
            pendingLf_ = buffer_.at(pos_++) == '\r';
            break;
        }
    }
    return line;
}

} // namespace velmora
