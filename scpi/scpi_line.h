#pragma once
// Cuts the bytes a client sends into lines for ParseLine, keeping at most
// one line's worth of bytes however long a line grows.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace velmora::scpi {

/// Lines end in LF or CR LF. A line longer than kMaxLineBytes (without its
/// line end) is dropped as it arrives and comes out as one tooLong line,
/// for a -223 "Too much data".
class LineReader {
  public:
    struct Line {
        QByteArray text; // without LF or CR LF; empty when tooLong
        bool tooLong = false;
        bool operator==(const Line&) const = default;
    };

    /// Takes bytes as they arrive; call Next() until it gives nothing.
    void Append(QByteArrayView bytes);
    /// The next complete line, or nothing until more bytes arrive.
    std::optional<Line> Next();
    /// Bytes of an unfinished line held, for a server's statistics.
    qsizetype Pending() const { return buffer_.size() - start_; }

  private:
    void DropOverlong();

    QByteArray buffer_;
    qsizetype start_ = 0;   // where the unread bytes begin
    bool dropping_ = false; // the current line is too long; its end is awaited
};

} // namespace velmora::scpi
