#include "vxi11/xdr.h"

#include <QtEndian>

namespace velmora::vxi11 {

namespace {
constexpr qsizetype Padded(qsizetype n) {
    return (n + 3) & ~qsizetype(3);
}
} // namespace

XdrWriter& XdrWriter::u32(quint32 value) {
    char bytes[4];
    qToBigEndian(value, bytes);
    out_.append(bytes, 4);
    return *this;
}

XdrWriter& XdrWriter::opaque(QByteArrayView bytes) {
    u32(quint32(bytes.size()));
    out_.append(bytes.data(), bytes.size());
    out_.append(Padded(bytes.size()) - bytes.size(), '\0');
    return *this;
}

bool XdrReader::take(qsizetype n) {
    if (failed_ || n < 0 || remaining() < n) {
        failed_ = true;
        return false;
    }
    return true;
}

std::optional<quint32> XdrReader::u32() {
    if (!take(4)) return std::nullopt;
    const quint32 value = qFromBigEndian<quint32>(in_.data() + at_);
    at_ += 4;
    return value;
}

std::optional<qint32> XdrReader::i32() {
    const auto value = u32();
    if (!value) return std::nullopt;
    return qint32(*value);
}

std::optional<bool> XdrReader::boolean() {
    const auto value = u32();
    if (!value) return std::nullopt;
    if (*value > 1) {
        failed_ = true;
        return std::nullopt;
    }
    return *value == 1;
}

std::optional<QByteArray> XdrReader::opaque(quint32 maxBytes) {
    const auto length = u32();
    if (!length) return std::nullopt;
    if (*length > maxBytes || !take(Padded(qsizetype(*length)))) {
        failed_ = true;
        return std::nullopt;
    }
    QByteArray bytes(in_.data() + at_, qsizetype(*length));
    at_ += Padded(qsizetype(*length));
    return bytes;
}

bool XdrReader::skipOpaque(quint32 maxBytes) {
    const auto length = u32();
    if (!length) return false;
    if (*length > maxBytes || !take(Padded(qsizetype(*length)))) {
        failed_ = true;
        return false;
    }
    at_ += Padded(qsizetype(*length));
    return true;
}

} // namespace velmora::vxi11
