#include "remote/scpi_values.h"

#include "scpi/scpi_format.h"

#include <cmath>

namespace velmora {

using namespace scpi;

namespace {

constexpr double kDayS = 86400;

int StepOf(Model model, bool voltage) {
    return voltage ? kVoltageStepMv : CurrentStepMa(model);
}

// The highest whole step at or below `limit`.
int HighestWithin(int limit, int step) {
    return std::max(0, limit) / step * step;
}

QString Shown(bool voltage, int value) {
    return QString::fromLatin1(voltage ? VoltsAnswer(value) : AmperesAnswer(value)) +
           (voltage ? QStringLiteral(" V") : QStringLiteral(" A"));
}

} // namespace

QByteArray IdentityAnswer(Model model, int port, const QString& version) {
    const QByteArray portName =
        port >= 1 && port <= 4 ? "COM" + QByteArray::number(port) : QByteArray("none");
    return "Velmora," + ModelPlainName(model).toLatin1() + ',' + portName + ',' +
           version.toLatin1();
}

QByteArray VoltsAnswer(int millivolts) {
    return FormatNumber(millivolts / 1000.0, millivolts % 100 == 0 ? 1 : 3);
}

QByteArray AmperesAnswer(int milliamps) {
    return FormatNumber(milliamps / 1000.0, milliamps % 10 == 0 ? 2 : 3);
}

int SpecialSetpoint(Model model, const Limits& within, bool voltage, const Value& value) {
    const auto* special = std::get_if<Special>(&value);
    if (!special || *special != Special::Maximum) return 0;
    return HighestWithin(voltage ? within.voltage : within.current, StepOf(model, voltage));
}

SetpointReading ReadSetpoint(Model model, const Limits& within, bool voltage, const Value& value) {
    if (model == Model::None) return {std::nullopt, ErrorCode::SettingsConflict, "no model chosen"};
    if (std::holds_alternative<Special>(value))
        return {qint16(SpecialSetpoint(model, within, voltage, value)), ErrorCode::NoError, {}};
    const double given = std::get<double>(value); // V or A
    const int step = StepOf(model, voltage);
    const int limit = voltage ? within.voltage : within.current;
    if (!std::isfinite(given) || given < 0 || given * 1000 > limit + step / 2.0)
        return {
            std::nullopt, ErrorCode::DataOutOfRange,
            QStringLiteral("%1 beyond 0 to %2").arg(QString::number(given), Shown(voltage, limit))};
    const int value1 = int(std::floor(given * 1000 / step + 0.5)) * step;
    if (value1 > limit)
        return {std::nullopt, ErrorCode::DataOutOfRange,
                QStringLiteral("above %1").arg(Shown(voltage, limit))};
    return {qint16(value1), ErrorCode::NoError, {}};
}

LimitReading ReadLimit(Model model, bool voltage, const Value& value) {
    if (const auto* special = std::get_if<Special>(&value)) {
        if (*special == Special::Minimum) return {true, qint16(0), {}};
        return {true, std::nullopt, {}};
    }
    const double given = std::get<double>(value);
    const Limits own = LimitsOf(model);
    const int modelLimit = voltage ? own.voltage : own.current;
    const int step = StepOf(model, voltage);
    const int steps = std::isfinite(given) ? int(std::floor(given * 1000 / step + 0.5)) : -1;
    if (given < 0 || steps < 0 || steps * step > modelLimit)
        return {false, std::nullopt,
                QStringLiteral("0 to %1 on this model").arg(Shown(voltage, modelLimit))};
    return {true, qint16(steps * step), {}};
}

std::optional<quint8> RegisterValue(const Value& value) {
    const auto* number = std::get_if<double>(&value);
    if (!number || *number < 0 || *number > 255) return std::nullopt;
    return quint8(std::lround(*number));
}

std::optional<double> WatchdogValue(const Value& value) {
    if (const auto* special = std::get_if<Special>(&value))
        return *special == Special::Maximum ? kDayS : 0.0;
    const double seconds = std::get<double>(value);
    if (!std::isfinite(seconds) || seconds < 0 || seconds > kDayS) return std::nullopt;
    return seconds;
}

bool BareFileName(const QString& name) {
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') ||
        name.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return true;
}

} // namespace velmora
