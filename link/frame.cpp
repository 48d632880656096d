#include "link/frame.h"

#include "core/constants.h"

namespace velmora {

std::optional<Measurement> ParseFrame(const QByteArray& block) {
    if (block.size() != kFrameLength || block.at(0) != 'D') return std::nullopt;
    // Positions are counted from 1 as the unit's documentation counts them.
    const auto at = [&block](int position) { return QChar::fromLatin1(block.at(position - 1)); };
    const QChar voltage[] = {at(3), at(4), u',', at(5), u'V'};
    const QChar current[] = {at(8), u',', at(9), at(10), u'A'};
    Measurement m;
    m.voltageText = QString(voltage, 5);
    m.currentText = QString(current, 5);
    return m;
}

} // namespace velmora
