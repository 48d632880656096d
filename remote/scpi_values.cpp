#include "remote/scpi_values.h"

#include "scpi/scpi_format.h"

#include <cmath>

namespace velmora {

using namespace scpi;

namespace {

constexpr double kDayS = 86400;

// MIN and DEF stand for 0, MAX for `highest`; a number as given.
template <typename T> T Remote(const Value& value, T highest, T (*fromNumber)(double)) {
    if (const auto* special = std::get_if<Special>(&value))
        return *special == Special::Maximum ? highest : T(0);
    return fromNumber(std::get<double>(value));
}

template <typename T>
LimitReading<T> ReadLimit(const Value& value, T modelLimit, T rounded, const QString& shown) {
    if (const auto* special = std::get_if<Special>(&value)) {
        if (*special == Special::Minimum) return {true, T(0), {}};
        return {true, std::nullopt, {}};
    }
    const double given = std::get<double>(value);
    if (!std::isfinite(given) || rounded < T(0) || rounded > modelLimit)
        return {false, std::nullopt, QStringLiteral("0 to %1 on this model").arg(shown)};
    return {true, rounded, {}};
}

} // namespace

QByteArray IdentityAnswer(const QList<BenchIdentity>& units, const QString& version) {
    QByteArrayList models, ports;
    for (const BenchIdentity& unit : units) {
        models << ModelPlainName(unit.model).toLatin1();
        ports << (unit.port >= 1 && unit.port <= 4 ? "COM" + QByteArray::number(unit.port)
                                                   : QByteArray("none"));
    }
    return "Velmora," + models.join('+') + ',' + ports.join('+') + ',' + version.toLatin1();
}

QByteArray VoltsAnswer(Millivolts v) {
    return FormatNumber(Volts(v), v.value % 100 == 0 ? 1 : 3);
}

QByteArray AmperesAnswer(Milliamps a) {
    return FormatNumber(Amperes(a), a.value % 10 == 0 ? 2 : 3);
}

Millivolts RemoteVoltage(const Value& value, Model model, const UserLimits& user) {
    return Remote(value, HighestVoltage(model, user), &MillivoltsFromVolts);
}

Milliamps RemoteCurrent(const Value& value, Model model, const UserLimits& user) {
    return Remote(value, HighestCurrent(model, user), &MilliampsFromAmperes);
}

ErrorCode DoorError(DoorAnswer::Verdict verdict) {
    switch (verdict) {
    case DoorAnswer::Verdict::NoModel:
    case DoorAnswer::Verdict::Tripped:
        return ErrorCode::SettingsConflict;
    case DoorAnswer::Verdict::PastModelRange:
    case DoorAnswer::Verdict::PastUserLimit:
        return ErrorCode::DataOutOfRange;
    case DoorAnswer::Verdict::Ending:
        return ErrorCode::ExecutionError;
    case DoorAnswer::Verdict::Queued:
        break;
    }
    return ErrorCode::NoError;
}

LimitReading<Millivolts> ReadVoltageLimit(Model model, const Value& value) {
    const double given = std::holds_alternative<double>(value) ? std::get<double>(value) : 0;
    const Millivolts limit = LimitsOf(model).voltage;
    return ReadLimit(value, limit, RoundedVoltage(MillivoltsFromVolts(given)), VoltageText(limit));
}

LimitReading<Milliamps> ReadCurrentLimit(Model model, const Value& value) {
    const double given = std::holds_alternative<double>(value) ? std::get<double>(value) : 0;
    const Milliamps limit = LimitsOf(model).current;
    return ReadLimit(value, limit, RoundedCurrent(model, MilliampsFromAmperes(given)),
                     CurrentText(limit));
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

QString FileNameProblem(const QString& name) {
    if (name.isEmpty()) return QStringLiteral("an empty file name");
    if (name == QStringLiteral(".") || name == QStringLiteral(".."))
        return QStringLiteral("\"%1\" is a folder, not a file name").arg(name);
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("a control character in the file name");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("a bare file name, without a folder");
    return {};
}

} // namespace velmora
