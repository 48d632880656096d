#pragma once
// XDR (RFC 4506) written and read by hand over QByteArray: every length that
// comes from the network is checked against what is there and against a
// bound before anything is allocated.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace velmora::vxi11 {

/// Appends XDR items to a byte string, big-endian, padded to four bytes.
class XdrWriter {
  public:
    XdrWriter& u32(quint32 value);
    XdrWriter& i32(qint32 value) { return u32(quint32(value)); }
    XdrWriter& boolean(bool value) { return u32(value ? 1 : 0); }
    /// Variable-length opaque or string: its length, the bytes, the padding.
    XdrWriter& opaque(QByteArrayView bytes);
    const QByteArray& bytes() const { return out_; }

  private:
    QByteArray out_;
};

/// Reads XDR items from a byte string. Once an item does not fit, or an
/// opaque is longer than its bound, the reader has failed and every later
/// item reads as nothing.
class XdrReader {
  public:
    explicit XdrReader(QByteArrayView bytes) : in_(bytes) {}
    // It reads in place: the bytes must outlive it.
    explicit XdrReader(QByteArray&&) = delete;
    std::optional<quint32> u32();
    std::optional<qint32> i32();
    /// 0 or 1; any other value fails, as XDR allows nothing else.
    std::optional<bool> boolean();
    /// At most `maxBytes`; a longer one fails.
    std::optional<QByteArray> opaque(quint32 maxBytes);
    /// Skips an opaque of at most `maxBytes` (a credential's body).
    bool skipOpaque(quint32 maxBytes);
    bool failed() const { return failed_; }
    qsizetype remaining() const { return in_.size() - at_; }
    qsizetype position() const { return at_; }

  private:
    bool take(qsizetype n);

    QByteArrayView in_;
    qsizetype at_ = 0;
    bool failed_ = false;
};

} // namespace velmora::vxi11
