#pragma once
// Reads a text file line by line, taking LF, CR LF and CR alone as line ends,
// for the player and for the tools that read control and record files.

#include <QByteArray>
#include <QIODevice>
#include <optional>

namespace velmora {

/// What a reader gives back for a line too long to be a record.
enum class LongLines {
    Emptied, // read to its end and dropped: a file without line ends cannot fill the memory
    Kept,    // whole, for a copy of the file
};

/// One line at a time from a device open for reading, in bounded memory
/// unless long lines are kept.
class LineReader {
  public:
    /// Longer than any record.
    static constexpr qsizetype kMaxLineLength = 4096;

    explicit LineReader(QIODevice* device, LongLines longLines = LongLines::Emptied)
        : device_(device), longLines_(longLines) {}

    /// The next line without its line end; nothing at the end of the file or
    /// after a read error. A line too long to be a record comes back as
    /// `LongLines` says.
    std::optional<QByteArray> next();
    /// True when no line is left.
    bool atEnd();
    /// Whether the line `next` gave last was too long to be a record.
    bool lastWasTooLong() const { return tooLong_; }

  private:
    bool fill();
    void takePendingLf();

    QIODevice* device_;
    LongLines longLines_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool pendingLf_ = false; // the last line ended in CR: an LF next is part of its end
    bool tooLong_ = false;
};

} // namespace velmora
