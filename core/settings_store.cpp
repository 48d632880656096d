#include "core/settings_store.h"

#include "core/constants.h"
#include "core/state.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>

namespace velmora {

namespace {

QString ReadFrom(QLatin1StringView group, const QString& key) {
    QSettings store{QString(kOrganisation), QString()};
    store.beginGroup(group);
    const QVariant value = store.value(key);
    // A hand-edited value with commas comes back as a list; keep it whole.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
    return value.toString();
}

void LoadNumber(QLatin1StringView key, qint16& item) {
    const QString text = ReadSetting(key);
    if (text.isEmpty()) return;
    if (auto number = ParseInt16(text)) item = *number;
}

void LoadText(QLatin1StringView key, QString& item) {
    const QString text = ReadSetting(key);
    if (!text.isEmpty()) item = text;
}

} // namespace

QString ReadSetting(const QString& key) {
    return ReadFrom(kSection, key);
}

void SaveSetting(const QString& key, const QString& text) {
    QSettings store{QString(kOrganisation), QString()};
    store.beginGroup(kSection);
    store.setValue(key, text);
}

QString ReadPortMapping(int port) {
    return ReadFrom(kPortsSection, QStringLiteral("COM%1").arg(port));
}

void SavePortMapping(int port, const QString& device) {
    QSettings store{QString(kOrganisation), QString()};
    store.beginGroup(kPortsSection);
    const QString key = QStringLiteral("COM%1").arg(port);
    if (device.isEmpty())
        store.remove(key);
    else
        store.setValue(key, device);
}

std::optional<qint16> ParseInt16(const QString& text) {
    const qsizetype digitsFrom = text.startsWith(u'-') ? 1 : 0;
    if (text.size() - digitsFrom < 1) return std::nullopt;
    int value = 0;
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9') return std::nullopt;
        // Leading zeros may run on; past 16 bits the number is out anyway.
        value = std::min(value * 10 + (c.unicode() - u'0'), 99999);
    }
    if (digitsFrom) value = -value;
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<qint16>(value);
}

void LoadSettings() {
    const SharedState defaults;
    Shared.VoltageLimit = defaults.VoltageLimit;
    Shared.CurrentLimit = defaults.CurrentLimit;
    LoadNumber(kKeyVoltageLimit, Shared.VoltageLimit);
    LoadNumber(kKeyCurrentLimit, Shared.CurrentLimit);
    Shared.PortNumber = defaults.PortNumber;
    LoadNumber(kKeyPort, Shared.PortNumber);
    Shared.RecordFileName = defaults.RecordFileName;
    Shared.ControlFileName = defaults.ControlFileName;
    LoadText(kKeyRecordFile, Shared.RecordFileName);
    LoadText(kKeyControlFile, Shared.ControlFileName);
}

} // namespace velmora
