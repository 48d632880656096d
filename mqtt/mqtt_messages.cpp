#include "mqtt/mqtt_messages.h"

#include <QDateTime>
#include <cmath>

namespace velmora {

namespace {

// Voltages, currents and powers to the mV, mA and mW; the meters finer.
constexpr int kValueDecimals = 3;
constexpr int kMeterDecimals = 6;

} // namespace

QString UnitTopic(const QString& base, int unit, const QString& leaf) {
    return base + u'/' + QString::number(unit) + u'/' + leaf;
}

QString AvailabilityTopic(const QString& base) {
    return base + QStringLiteral("/availability");
}

int CommandTopicUnit(const QString& base, const QString& topic) {
    const QString suffix = QStringLiteral("/set");
    if (!topic.startsWith(base + u'/') || !topic.endsWith(suffix)) return 0;
    const QString number = topic.mid(base.size() + 1).chopped(suffix.size());
    if (number.isEmpty() || number.size() > 4 || number.startsWith(u'0')) return 0;
    bool ok = false;
    const int unit = number.toInt(&ok);
    return ok && std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); })
               ? unit
               : 0;
}

QByteArray JsonString(const QString& text) {
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

QByteArray JsonNumber(double value, int decimals) {
    if (!std::isfinite(value)) return QByteArrayLiteral("null");
    QByteArray text = QByteArray::number(value, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0') && !text.endsWith(".0"))
            text.chop(1);
    }
    if (text.startsWith('-') && text.count('0') == text.size() - 2) text.remove(0, 1); // -0.0
    return text;
}

QByteArray JsonBool(bool value) {
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

QByteArray IsoTime(qint64 epochMs, const QTimeZone& zone) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(epochMs, zone);
    const int offset = at.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() +
           (offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'))
               .toLatin1();
}

QByteArray StateFields(const UnitState& s) {
    const auto measured = [&s](double value) {
        return s.measured ? JsonNumber(value, kValueDecimals) : QByteArrayLiteral("null");
    };
    QByteArray out;
    out.reserve(320);
    out += "{\"voltage\":" + measured(s.voltage);
    out += ",\"current\":" + measured(s.current);
    out += ",\"power\":" + measured(s.power);
    out += ",\"set_voltage\":" + JsonNumber(s.setVoltage, kValueDecimals);
    out += ",\"set_current\":" + JsonNumber(s.setCurrent, kValueDecimals);
    out += ",\"output\":" + JsonBool(s.output);
    out += ",\"mode\":" + JsonString(s.mode);
    out += ",\"tripped\":" + JsonBool(s.tripped);
    out += ",\"charge_Ah\":" + JsonNumber(s.chargeAh, kMeterDecimals);
    out += ",\"energy_Wh\":" + JsonNumber(s.energyWh, kMeterDecimals);
    out += ",\"link\":" + JsonString(s.link);
    out += ",\"recording\":" + JsonBool(s.recording);
    out += ",\"run\":" + JsonString(s.run);
    return out;
}

QByteArray StateJson(const UnitState& state, qint64 nowMs, const QTimeZone& zone) {
    return StateFields(state) + ",\"time\":\"" + IsoTime(state.atMs ? state.atMs : nowMs, zone) +
           "\"}";
}

QByteArray EventJson(const QString& kind, const QString& text, qint64 epochMs,
                     const QTimeZone& zone) {
    return "{\"kind\":" + JsonString(kind) + ",\"text\":" + JsonString(text) + ",\"time\":\"" +
           IsoTime(epochMs, zone) + "\"}";
}

} // namespace velmora
