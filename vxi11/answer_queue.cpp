#include "vxi11/answer_queue.h"

#include "vxi11/vxi11_protocol.h"

#include <algorithm>

namespace velmora::vxi11 {

void AnswerQueue::push(const QByteArray& line) {
    if (line.isEmpty()) return;
    lines_.push_back(line);
    bytes_ += line.size();
}

void AnswerQueue::clear() {
    lines_.clear();
    offset_ = bytes_ = 0;
}

ReadOut AnswerQueue::take(quint32 requestSize, bool useTermChar, char termChar) {
    ReadOut out;
    if (lines_.empty()) return out;
    const QByteArray& front = lines_.front();
    const qsizetype left = front.size() - offset_;
    qsizetype n = std::min<qsizetype>(left, qsizetype(std::min<quint32>(requestSize, 1u << 30)));
    bool atTermChar = false;
    if (useTermChar) {
        const qsizetype term = front.indexOf(termChar, offset_);
        if (term >= 0 && term - offset_ < n) {
            n = term - offset_ + 1;
            atTermChar = true;
        }
    }
    out.data = front.mid(offset_, n);
    offset_ += n;
    bytes_ -= n;
    if (atTermChar) out.reasons |= reason::kTermChar;
    if (quint32(n) == requestSize) out.reasons |= reason::kRequestCount;
    if (offset_ == front.size()) {
        out.reasons |= reason::kEnd;
        lines_.pop_front();
        offset_ = 0;
    }
    return out;
}

} // namespace velmora::vxi11
