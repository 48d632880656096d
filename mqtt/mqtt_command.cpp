#include "mqtt/mqtt_command.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace velmora {

namespace {

// No unit of this kind comes near it; 1e308 and the like are typing errors.
constexpr double kLargestValue = 1000;

CommandReading Refuse(const QString& why) {
    return {std::nullopt, why};
}

// A key as it may be shown: printable, short.
QString Shown(const QString& key) {
    QString shown = key.left(40);
    for (QChar& c : shown)
        if (c.unicode() < 0x20) c = u'?';
    return key.size() > 40 ? shown + QStringLiteral("...") : shown;
}

QString NumberProblem(const QString& key, const QJsonValue& value, const char* unit) {
    if (!value.isDouble()) {
        return value.isString() ? QStringLiteral("%1 must be a number, not text").arg(key)
                                : QStringLiteral("%1 must be a number").arg(key);
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > kLargestValue)
        return QStringLiteral("%1 %2 %3 is out of range").arg(key, QString::number(number), unit);
    return {};
}

} // namespace

CommandReading ReadCommand(const QByteArray& payload) {
    if (payload.size() > kMaxCommandBytes)
        return Refuse(QStringLiteral("the message is too long: %1 bytes, at most %2")
                          .arg(payload.size())
                          .arg(kMaxCommandBytes));
    if (payload.trimmed().isEmpty()) return Refuse(QStringLiteral("the message is empty"));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return Refuse(QStringLiteral("the message is not JSON: %1 at byte %2")
                          .arg(error.errorString())
                          .arg(error.offset));
    if (!document.isObject()) return Refuse(QStringLiteral("the message is not a JSON object"));
    const QJsonObject object = document.object();
    UnitCommand command;
    int actions = 0;
    bool setpoints = false;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QStringLiteral("voltage") || key == QStringLiteral("current")) {
            const bool voltage = key == QStringLiteral("voltage");
            if (const QString why = NumberProblem(key, value, voltage ? "V" : "A"); !why.isEmpty())
                return Refuse(why);
            (voltage ? command.voltage : command.current) = value.toDouble();
            if (!setpoints) ++actions;
            setpoints = true;
        } else if (key == QStringLiteral("output")) {
            if (!value.isBool()) return Refuse(QStringLiteral("output must be true or false"));
            command.kind = UnitCommand::Output;
            command.output = value.toBool();
            ++actions;
        } else if (key == QStringLiteral("clear_trip") || key == QStringLiteral("reset_meters")) {
            if (!(value.isBool() && value.toBool()))
                return Refuse(QStringLiteral("%1 takes only true").arg(key));
            command.kind = key == QStringLiteral("clear_trip") ? UnitCommand::ClearTrip
                                                               : UnitCommand::ResetMeters;
            ++actions;
        } else {
            return Refuse(QStringLiteral("unknown key \"%1\"").arg(Shown(key)));
        }
    }
    if (actions == 0)
        return Refuse(QStringLiteral(
            "nothing to do: give voltage, current, output, clear_trip or reset_meters"));
    if (actions > 1)
        return Refuse(QStringLiteral("one action a message: voltage and current together, or "
                                     "output, clear_trip or reset_meters alone"));
    if (setpoints) command.kind = UnitCommand::Setpoints;
    return {command, {}};
}

} // namespace velmora
