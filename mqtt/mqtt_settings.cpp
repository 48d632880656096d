#include "mqtt/mqtt_settings.h"

#include "core/settings_store.h"

#include <QFile>
#include <QHostAddress>
#include <algorithm>
#include <sys/stat.h>

namespace velmora {

namespace {

const QString kGroup = QStringLiteral("MQTT");
constexpr qsizetype kMaxTopicLength = 200;
constexpr qsizetype kMaxTextLength = 200;
constexpr qint64 kMaxPasswordBytes = 1024;

// An address, or a name of letters, digits, '-', '_' and inner dots.
bool IsHost(const QString& host) {
    if (!QHostAddress(host).isNull()) return true;
    if (host.isEmpty() || host.size() > 253 || host.startsWith(u'.') || host.endsWith(u'.') ||
        host.startsWith(u'-'))
        return false;
    return std::all_of(host.begin(), host.end(), [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'.' || c == u'-' || c == u'_';
    });
}

std::optional<quint16> ParsePort(const QString& text) {
    bool ok = false;
    const uint number = text.toUInt(&ok);
    if (!ok || number < 1 || number > 65535 || text.startsWith(u'+') || text.trimmed() != text)
        return std::nullopt;
    return quint16(number);
}

// True or false as the store writes them; nothing for any other text.
std::optional<bool> ParseBool(const QString& text) {
    if (text == QStringLiteral("true")) return true;
    if (text == QStringLiteral("false")) return false;
    return std::nullopt;
}

QString BoolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// Printable text without control characters, of a reasonable length.
bool IsPlainText(const QString& text) {
    if (text.size() > kMaxTextLength) return false;
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; });
}

} // namespace

QString TopicSafeHostName(const QString& hostName) {
    QString safe = hostName.isEmpty() ? QStringLiteral("localhost") : hostName.left(64);
    for (QChar& c : safe)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'-' && c != u'_') c = u'_';
    return safe;
}

QString MqttTopic(const MqttSettings& s, const QString& hostName) {
    return s.topic.isEmpty() ? QStringLiteral("velmora/") + TopicSafeHostName(hostName) : s.topic;
}

QString MqttClientId(const MqttSettings& s, const QString& hostName) {
    return s.clientId.isEmpty() ? QStringLiteral("velmora-") + TopicSafeHostName(hostName)
                                : s.clientId;
}

quint16 MqttPort(const MqttSettings& s) {
    if (s.port != 0) return s.port;
    return s.caFile.isEmpty() ? MqttSettings::kPlainPort : MqttSettings::kTlsPort;
}

QString TopicProblem(const QString& topic) {
    if (topic.isEmpty()) return QStringLiteral("the topic is empty");
    if (topic.size() > kMaxTopicLength)
        return QStringLiteral("the topic is longer than %1 characters").arg(kMaxTopicLength);
    if (topic.contains(u'+') || topic.contains(u'#'))
        return QStringLiteral("a topic may not hold + or #");
    if (topic.startsWith(u'/') || topic.endsWith(u'/') || topic.contains(QStringLiteral("//")))
        return QStringLiteral("a topic may not begin or end with / or hold an empty level");
    if (topic.startsWith(u'$')) return QStringLiteral("a topic may not begin with $");
    if (!IsPlainText(topic)) return QStringLiteral("a topic may not hold control characters");
    return {};
}

MqttSettings ReadMqttSettings(const QMap<QString, QString>& texts, QStringList* problems) {
    MqttSettings s;
    const auto problem = [problems](const QString& key, const QString& value, const QString& why) {
        if (problems) problems->append(QStringLiteral("%1=%2 %3").arg(key, value, why));
    };
    const auto flag = [&](const QString& key, bool& field) {
        const QString value = texts.value(key);
        if (value.isEmpty()) return;
        if (const auto parsed = ParseBool(value))
            field = *parsed;
        else
            problem(key, value, QStringLiteral("is neither true nor false"));
    };
    flag(QStringLiteral("Enabled"), s.enabled);
    flag(QStringLiteral("Commands"), s.commands);
    flag(QStringLiteral("Discovery"), s.discovery);
    if (const QString host = texts.value(QStringLiteral("Host")); !host.isEmpty()) {
        if (IsHost(host))
            s.host = host;
        else
            problem(QStringLiteral("Host"), host, QStringLiteral("is no host name or address"));
    }
    if (const QString port = texts.value(QStringLiteral("Port")); !port.isEmpty()) {
        if (const auto parsed = ParsePort(port))
            s.port = *parsed;
        else
            problem(QStringLiteral("Port"), port, QStringLiteral("is no port number"));
    }
    if (const QString topic = texts.value(QStringLiteral("Topic")); !topic.isEmpty()) {
        if (const QString why = TopicProblem(topic); why.isEmpty())
            s.topic = topic;
        else
            problem(QStringLiteral("Topic"), topic, QStringLiteral("cannot be used: ") + why);
    }
    const auto text = [&](const QString& key, QString& field) {
        const QString value = texts.value(key);
        if (IsPlainText(value))
            field = value;
        else
            problem(key, value.left(40), QStringLiteral("is too long or holds control characters"));
    };
    text(QStringLiteral("ClientId"), s.clientId);
    text(QStringLiteral("Username"), s.username);
    text(QStringLiteral("PasswordFile"), s.passwordFile);
    text(QStringLiteral("CAFile"), s.caFile);
    if (const QString rate = texts.value(QStringLiteral("Rate")); !rate.isEmpty()) {
        bool ok = false;
        const int value = rate.toInt(&ok);
        if (ok && value >= 1 && value <= MqttSettings::kMaxRate && !rate.startsWith(u'+'))
            s.rate = value;
        else
            problem(
                QStringLiteral("Rate"), rate,
                QStringLiteral("is not a whole number from 1 to %1").arg(MqttSettings::kMaxRate));
    }
    return s;
}

QList<QPair<QString, QString>> MqttSettingsTexts(const MqttSettings& s) {
    return {{QStringLiteral("Enabled"), BoolText(s.enabled)},
            {QStringLiteral("Host"), s.host},
            {QStringLiteral("Port"), s.port ? QString::number(s.port) : QString()},
            {QStringLiteral("Topic"), s.topic},
            {QStringLiteral("ClientId"), s.clientId},
            {QStringLiteral("Username"), s.username},
            {QStringLiteral("PasswordFile"), s.passwordFile},
            {QStringLiteral("CAFile"), s.caFile},
            {QStringLiteral("Commands"), BoolText(s.commands)},
            {QStringLiteral("Discovery"), BoolText(s.discovery)},
            {QStringLiteral("Rate"), QString::number(s.rate)}};
}

MqttSettings LoadMqttSettings(const SettingsStore& store, QStringList* problems) {
    QMap<QString, QString> texts;
    for (const auto& [key, unused] : MqttSettingsTexts(MqttSettings()))
        texts.insert(key, store.text(kGroup, key));
    return ReadMqttSettings(texts, problems);
}

bool SaveMqttSettings(SettingsStore& store, const MqttSettings& settings) {
    return store.saveTexts(kGroup, MqttSettingsTexts(settings));
}

std::optional<BrokerPlace> ParseBrokerPlace(const QString& text) {
    BrokerPlace place{text, 0};
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0) return std::nullopt;
        place.host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            const auto port = rest.startsWith(u':') ? ParsePort(rest.mid(1)) : std::nullopt;
            if (!port) return std::nullopt;
            place.port = *port;
        }
        if (QHostAddress(place.host).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        return place;
    }
    // One colon: HOST:PORT; more than one: an IPv6 address without a port.
    if (text.count(u':') == 1) {
        const qsizetype colon = text.indexOf(u':');
        place.host = text.left(colon);
        const auto port = ParsePort(text.mid(colon + 1));
        if (!port) return std::nullopt;
        place.port = *port;
    }
    if (place.host.isEmpty() || !IsHost(place.host)) return std::nullopt;
    return place;
}

QString MqttArgumentProblem(const QString& argument) {
    if (argument.isEmpty() || ParseBrokerPlace(argument)) return {};
    return QStringLiteral(
               "--mqtt takes HOST[:PORT], such as 127.0.0.1 or broker.lan:1883, not '%1'")
        .arg(argument);
}

MqttSettings MqttSettingsForRun(const SettingsStore& store, const QString& argument,
                                QStringList* problems) {
    MqttSettings s = LoadMqttSettings(store, problems);
    if (const auto place = ParseBrokerPlace(argument)) {
        s.enabled = true;
        s.host = place->host;
        s.port = place->port;
    }
    return s;
}

std::optional<QByteArray> ReadPasswordFile(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("PasswordFile %1 %2").arg(path, why);
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot be read: ") + file.errorString());
    struct stat info {};
    if (::fstat(file.handle(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(QStringLiteral("is not a regular file"));
    if (info.st_mode & (S_IRWXG | S_IRWXO))
        return fail(QStringLiteral("is open to its group or others (mode %1): chmod 600 it")
                        .arg(info.st_mode & 0777, 4, 8, QChar(u'0')));
    if (info.st_size > kMaxPasswordBytes)
        return fail(QStringLiteral("is larger than %1 bytes: it holds only the password")
                        .arg(kMaxPasswordBytes));
    QByteArray password = file.read(kMaxPasswordBytes + 1);
    if (password.endsWith('\n')) password.chop(1);
    if (password.endsWith('\r')) password.chop(1);
    if (password.isEmpty()) return fail(QStringLiteral("is empty"));
    if (password.contains('\n')) return fail(QStringLiteral("holds more than one line"));
    return password;
}

} // namespace velmora
