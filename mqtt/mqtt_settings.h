#pragma once
// What the MQTT bridge is set to: the settings group "MQTT" (Enabled, Host,
// Port, Topic, ClientId, Username, PasswordFile, CAFile, Commands,
// Discovery, Rate) and `--mqtt HOST[:PORT]`, read into one value.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace velmora {

class SettingsStore;

/// The settings as stored; empty texts stand for the defaults, which
/// MqttTopic(), MqttClientId() and MqttPort() give.
struct MqttSettings {
    static constexpr quint16 kPlainPort = 1883;
    static constexpr quint16 kTlsPort = 8883;
    static constexpr int kDefaultRate = 5;
    static constexpr int kMaxRate = 80; // the unit's full frame rate

    bool enabled = false;
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 0;     // 0: 1883, or 8883 with a CA file
    QString topic;        // empty: velmora/<host name>
    QString clientId;     // empty: velmora-<host name>
    QString username;     // empty: no login
    QString passwordFile; // a file holding only the password
    QString caFile;       // set: TLS, checked against this CA
    bool commands = false;
    bool discovery = true;
    int rate = kDefaultRate; // most state messages a second per unit
    friend bool operator==(const MqttSettings&, const MqttSettings&) = default;
};

/// The host name as topics and client ids may carry it: anything but
/// letters, digits, '-' and '_' becomes '_'.
QString TopicSafeHostName(const QString& hostName);
QString MqttTopic(const MqttSettings& settings, const QString& hostName);
QString MqttClientId(const MqttSettings& settings, const QString& hostName);
quint16 MqttPort(const MqttSettings& settings);

/// Why a topic cannot be the bridge's base topic; empty when it can.
QString TopicProblem(const QString& topic);

/// The group's texts read into settings, key by key ("Enabled", "Host", ...):
/// a value that cannot be read keeps its default, and `problems` names it
/// once ("Rate=0 is not a whole number from 1 to 80").
MqttSettings ReadMqttSettings(const QMap<QString, QString>& texts, QStringList* problems = nullptr);
/// The settings as texts for the store, the inverse of ReadMqttSettings.
QList<QPair<QString, QString>> MqttSettingsTexts(const MqttSettings& settings);

MqttSettings LoadMqttSettings(const SettingsStore& store, QStringList* problems = nullptr);
/// False when the settings file cannot be written.
bool SaveMqttSettings(SettingsStore& store, const MqttSettings& settings);

/// A broker's place: "127.0.0.1", "broker.lan:8883", "[::1]:1883", "::1".
struct BrokerPlace {
    QString host;
    quint16 port = 0; // 0: not given
    friend bool operator==(const BrokerPlace&, const BrokerPlace&) = default;
};
std::optional<BrokerPlace> ParseBrokerPlace(const QString& text);
/// Why `--mqtt`'s argument cannot be read; empty when it can (or is empty).
QString MqttArgumentProblem(const QString& argument);
/// The stored settings, turned on for this run at the place `--mqtt` gives
/// (already found readable by MqttArgumentProblem) when it is not empty.
MqttSettings MqttSettingsForRun(const SettingsStore& store, const QString& argument,
                                QStringList* problems = nullptr);

/// The password in a file that holds only it (one trailing line end is not
/// part of it). Nothing, with `error` set, when the file cannot be read, is
/// larger than 1 KiB, or may be read by its group or others.
std::optional<QByteArray> ReadPasswordFile(const QString& path, QString* error);

} // namespace velmora
