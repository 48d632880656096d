#pragma once
// ONC RPC record marking over a stream (RFC 5531, section 11): each record
// goes in fragments, each behind a four-byte header holding its length and,
// in the top bit, whether it is the record's last.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace velmora::vxi11 {

/// One record as a single last fragment.
QByteArray FrameRecord(QByteArrayView body);

/// Cuts a byte stream into records, holding at most `maxRecordBytes` of one.
/// A record announced longer than that is reported once as oversized, with
/// its first kHeadBytes (a call header with AUTH_NONE credentials and a
/// device_write's arguments up to its data), and its remaining bytes are
/// dropped as they arrive.
class RecordReader {
  public:
    static constexpr qsizetype kHeadBytes = 60;

    struct Event {
        enum Kind { Record, Oversized } kind;
        QByteArray bytes; // the whole record, or the head of an oversized one
        bool operator==(const Event&) const = default;
    };

    explicit RecordReader(qsizetype maxRecordBytes) : max_(maxRecordBytes) {}
    /// Takes bytes as they arrive; call next() until it gives nothing.
    void append(QByteArrayView bytes);
    std::optional<Event> next();
    /// Bytes held: the unread input and the record being gathered.
    qsizetype buffered() const { return buffer_.size() - start_ + record_.size(); }
    /// The head gathered so far of an oversized record not yet reported:
    /// enough, often, to see that it is no call at all.
    QByteArrayView oversizedHead() const {
        return oversized_ && !reported_ ? QByteArrayView(record_) : QByteArrayView();
    }

  private:
    std::optional<Event> endOfRecord();

    qsizetype max_;
    QByteArray buffer_;
    qsizetype start_ = 0;
    QByteArray record_;
    quint64 announced_ = 0;    // bytes of the record announced so far
    quint32 fragmentLeft_ = 0; // bytes of the current fragment still to come
    bool inFragment_ = false;
    bool lastFragment_ = false;
    bool oversized_ = false;
    bool reported_ = false;
};

} // namespace velmora::vxi11
