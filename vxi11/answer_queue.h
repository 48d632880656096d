#pragma once
// The answer bytes a link holds until device_read takes them, and how one
// read takes them: at most the requested count, up to the term character
// when one is set, and never past the end of an answer line, whose last
// byte carries END.

#include <QByteArray>
#include <deque>

namespace velmora::vxi11 {

/// What one device_read takes.
struct ReadOut {
    QByteArray data;
    qint32 reasons = 0; // reason::kRequestCount, kTermChar, kEnd
    bool operator==(const ReadOut&) const = default;
};

/// Answer lines in order, each ending in LF, partly taken at the front.
class AnswerQueue {
  public:
    void push(const QByteArray& line);
    bool empty() const { return lines_.empty(); }
    qsizetype bytes() const { return bytes_; }
    void clear();
    /// Takes the next bytes for a read of `requestSize` (at least 1), stopping
    /// after `termChar` when `useTermChar`.
    ReadOut take(quint32 requestSize, bool useTermChar, char termChar);

  private:
    std::deque<QByteArray> lines_;
    qsizetype offset_ = 0; // bytes of the front line already taken
    qsizetype bytes_ = 0;  // bytes not yet taken
};

} // namespace velmora::vxi11
