#include "link/command.h"

#include "core/constants.h"

#include <cmath>

namespace velmora {

QByteArray Format000(double value) {
    const double rounded = std::floor(std::fabs(value) + 0.5);
    QByteArray digits = QByteArray::number(static_cast<qint64>(rounded));
    if (digits.size() < 3) digits.prepend(QByteArray(3 - digits.size(), '0'));
    if (value < 0 && rounded != 0) digits.prepend('-');
    return digits;
}

QByteArray BuildSetpointCommand(Model model, qint16 voltageMv, qint16 currentMa) {
    double currentStep = 0;
    switch (model) {
    case Model::Large2A5_25V:
        currentStep = 10;
        break;
    case Model::Small1A20V:
        currentStep = 5;
        break;
    case Model::None:
        return {};
    }
    const double volts = std::trunc(static_cast<double>(voltageMv) / 100.0);
    const double current = static_cast<double>(currentMa) / currentStep;
    return Format000(volts) + '\r' + Format000(current) + '\r';
}

} // namespace velmora
