#include "scpi/scpi_line.h"

#include "scpi/scpi_parser.h"

namespace velmora::scpi {

void LineReader::Append(QByteArrayView bytes) {
    if (start_ > 0) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes.data(), bytes.size());
    DropOverlong();
}

std::optional<LineReader::Line> LineReader::Next() {
    const qsizetype lf = buffer_.indexOf('\n', start_);
    if (lf < 0) {
        DropOverlong();
        return std::nullopt;
    }
    QByteArrayView text(buffer_.constData() + start_, lf - start_);
    if (text.endsWith('\r')) text.chop(1);
    Line line;
    if (dropping_ || text.size() > kMaxLineBytes)
        line.tooLong = true;
    else
        line.text = text.toByteArray();
    dropping_ = false;
    start_ = lf + 1;
    return line;
}

// An unfinished line past the limit (plus room for its CR) can only end as
// a too long one: its bytes are of no more use.
void LineReader::DropOverlong() {
    if (buffer_.size() - start_ <= kMaxLineBytes + 1) return;
    if (buffer_.indexOf('\n', start_) >= 0) return;
    buffer_.clear();
    start_ = 0;
    dropping_ = true;
}

} // namespace velmora::scpi
