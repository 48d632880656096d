#pragma once
// Where the serial link stands in the stream of characters from the
// unit: which waiting characters make up the next block read as a frame.

#include <QByteArray>

namespace velmora {

/// The link's receive buffer. After an open, every waiting character
/// makes up the next block. After a reset it drops the rest of the cut frame
/// and finds the frame boundary: a "D" followed twelve characters later by
/// another "D" (a unit sending without gaps); from there it hands out the
/// stream in steps of twelve. If the boundary is not found within the deaf
/// time, the stream has gaps, and the first characters after it start the
/// next block, as after an open.
class FrameSync {
  public:
    /// After an open or a close: nothing waits, blocks are what waits.
    void restart();
    /// After a reset at `nowNs`.
    void resynchronise(qint64 nowNs);
    /// Characters that arrived at `nowNs`.
    void take(const QByteArray& bytes, qint64 nowNs);
    /// Whether a block is ready: a frame's length of characters waits.
    bool blockReady() const;
    /// The next block: every waiting character, or one frame once the
    /// boundary is found; nothing while the boundary is being looked for.
    QByteArray read();
    qint64 waiting() const { return buffer_.size(); }

  private:
    enum class Mode { Whole, Hunting, Framed };
    void hunt();

    Mode mode_ = Mode::Whole;
    QByteArray buffer_;
    qint64 huntUntilNs_ = 0;
};

} // namespace velmora
