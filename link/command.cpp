#include "link/command.h"

#include "core/constants.h"

#include <cmath>

namespace velmora {

QByteArray Format000(double value) {
    const double rounded = std::floor(std::fabs(value) + 0.5);
    // By hand: a plot or a check of a day's recording makes millions of these.
    char text[24];
    int start = int(sizeof text);
    for (auto number = static_cast<quint64>(rounded); number > 0 || sizeof text - start < 3;
         number /= 10)
        text[--start] = char('0' + number % 10);
    if (value < 0 && rounded != 0) text[--start] = '-';
    return QByteArray(text + start, qsizetype(sizeof text) - start);
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
