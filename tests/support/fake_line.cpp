#include "fake_line.h"

#include "core/clock.h"

namespace velmora::test {

bool FakeLine::open(const QString& device, const LineSettings&) {
    device_ = device;
    ++opens_;
    if (open_ || !openSucceeds_) return false;
    open_ = true;
    input_.clear(); // as a real port, characters from before the open are gone
    return true;
}

QByteArray FakeLine::read(qint64 maxBytes) {
    ++reads_;
    const qint64 count = maxBytes > 0 ? qMin(maxBytes, qint64(input_.size())) : input_.size();
    const QByteArray out = input_.left(count);
    input_.remove(0, count);
    return out;
}

bool FakeLine::write(const QByteArray& bytes) {
    if (!open_) return false;
    writes_.append({clock_ ? clock_->monotonicNs() : RealClock().monotonicNs(), bytes, device_});
    return true;
}

void FakeLine::feed(const QByteArray& bytes) {
    if (!open_) return;
    input_ += bytes;
    emit readyRead();
}

QByteArray FakeLine::written() const {
    QByteArray all;
    for (const Write& w : writes_)
        all += w.bytes;
    return all;
}

StampingLine::StampingLine() : real_(MakeQtSerialLine()) {
    connect(real_.get(), &SerialLine::readyRead, this, &SerialLine::readyRead);
    connect(real_.get(), &SerialLine::gone, this, &SerialLine::gone);
}

bool StampingLine::write(const QByteArray& bytes) {
    writes_.append({RealClock().monotonicNs(), bytes});
    return real_->write(bytes);
}

} // namespace velmora::test
