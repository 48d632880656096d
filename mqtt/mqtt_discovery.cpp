#include "mqtt/mqtt_discovery.h"

#include "mqtt/mqtt_messages.h"

namespace velmora {

namespace {

// One entity: its component, object id and the keys that are its own,
// already as JSON ("\"name\":\"Voltage\",...").
struct Entity {
    const char* component;
    const char* object;
    QByteArray keys;
    bool command = false; // only with commands on
};

QByteArray Key(const char* key, const QByteArray& json) {
    return QByteArray(",\"") + key + "\":" + json;
}

QByteArray Text(const char* key, const QString& text) {
    return Key(key, JsonString(text));
}

QByteArray Sensor(const char* name, const char* field, const char* unit, const char* deviceClass,
                  const char* stateClass) {
    QByteArray keys = Text("name", QString::fromLatin1(name)) +
                      Text("value_template", QStringLiteral("{{ value_json.%1 }}").arg(field)) +
                      Text("unit_of_measurement", QString::fromUtf8(unit));
    if (deviceClass) keys += Text("device_class", QString::fromLatin1(deviceClass));
    keys += Text("state_class", QString::fromLatin1(stateClass));
    return keys;
}

QByteArray Setpoint(const char* name, const char* field, const char* unit, const char* deviceClass,
                    double max, double step, const QString& commandTopic) {
    return Text("name", QString::fromLatin1(name)) + Text("command_topic", commandTopic) +
           Text("command_template", QStringLiteral("{\"%1\":{{ value }}}").arg(field)) +
           Text("value_template", QStringLiteral("{{ value_json.set_%1 }}").arg(field)) +
           Key("min", "0.0") + Key("max", JsonNumber(max, 3)) + Key("step", JsonNumber(step, 3)) +
           Text("mode", QStringLiteral("box")) +
           Text("unit_of_measurement", QString::fromLatin1(unit)) +
           Text("device_class", QString::fromLatin1(deviceClass));
}

QList<Entity> Entities(const DiscoveryUnit& u) {
    const QString commandTopic = UnitTopic(u.baseTopic, u.unit, QStringLiteral("set"));
    const QString onOff = QStringLiteral("{{ 'ON' if value_json.%1 else 'OFF' }}");
    return {
        {"sensor", "voltage", Sensor("Voltage", "voltage", "V", "voltage", "measurement")},
        {"sensor", "current", Sensor("Current", "current", "A", "current", "measurement")},
        {"sensor", "power", Sensor("Power", "power", "W", "power", "measurement")},
        {"sensor", "charge", Sensor("Charge", "charge_Ah", "Ah", nullptr, "total_increasing")},
        {"sensor", "energy", Sensor("Energy", "energy_Wh", "Wh", "energy", "total_increasing")},
        {"binary_sensor", "trip",
         Text("name", QStringLiteral("Trip")) + Text("value_template", onOff.arg("tripped")) +
             Text("payload_on", QStringLiteral("ON")) + Text("payload_off", QStringLiteral("OFF")) +
             Text("device_class", QStringLiteral("problem"))},
        {"number", "set_voltage",
         Setpoint("Voltage set-point", "voltage", "V", "voltage", u.limits.maxVoltage,
                  u.limits.voltageStep, commandTopic),
         true},
        {"number", "set_current",
         Setpoint("Current set-point", "current", "A", "current", u.limits.maxCurrent,
                  u.limits.currentStep, commandTopic),
         true},
        {"switch", "output",
         Text("name", QStringLiteral("Output")) + Text("command_topic", commandTopic) +
             Text("payload_on", QStringLiteral("{\"output\":true}")) +
             Text("payload_off", QStringLiteral("{\"output\":false}")) +
             Text("value_template", onOff.arg("output")) + Text("state_on", QStringLiteral("ON")) +
             Text("state_off", QStringLiteral("OFF")),
         true},
    };
}

QByteArray Device(const DiscoveryUnit& u, const QString& node) {
    return "{\"identifiers\":[" + JsonString(node) + "],\"name\":" + JsonString(u.name) +
           ",\"model\":" + JsonString(u.model) + ",\"sw_version\":" + JsonString(u.version) + "}";
}

} // namespace

QString DiscoveryNodeId(const QString& baseTopic, int unit) {
    QString node = baseTopic + u'_' + QString::number(unit);
    for (QChar& c : node)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'-' && c != u'_') c = u'_';
    return node;
}

QList<RetainedMessage> DiscoveryMessages(const DiscoveryUnit& u, bool discovery, bool commands) {
    const QString node = DiscoveryNodeId(u.baseTopic, u.unit);
    const QString stateTopic = UnitTopic(u.baseTopic, u.unit, QStringLiteral("state"));
    QList<RetainedMessage> messages;
    for (const Entity& e : Entities(u)) {
        RetainedMessage m;
        m.topic = QStringLiteral("homeassistant/%1/%2/%3/config")
                      .arg(QLatin1String(e.component), node, QLatin1String(e.object));
        if (discovery && (commands || !e.command)) {
            const QString id = node + u'_' + QLatin1String(e.object);
            m.payload = "{\"unique_id\":" + JsonString(id) + e.keys +
                        Text("state_topic", stateTopic) +
                        Text("availability_topic", AvailabilityTopic(u.baseTopic)) +
                        Key("device", Device(u, node)) + "}";
        }
        messages.append(m);
    }
    return messages;
}

} // namespace velmora
