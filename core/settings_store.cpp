#include "core/settings_store.h"

#include "core/constants.h"

#include <QSettings>
#include <algorithm>
#include <type_traits>

namespace velmora {

namespace {

constexpr QLatin1StringView kLimitsSection{"Limits"};

template <typename T> void LoadNumber(const SettingsStore& store, QLatin1StringView key, T& item) {
    if (const auto number = ParseInt16(store.text(store.groups().main, QString(key)))) {
        if constexpr (std::is_integral_v<T>)
            item = *number;
        else
            item = T(*number);
    }
}

void LoadText(const SettingsStore& store, QLatin1StringView key, QString& item) {
    const QString text = store.text(store.groups().main, QString(key));
    if (!text.isEmpty()) item = text;
}

QString PortKey(int port) {
    return QStringLiteral("COM%1").arg(port);
}

} // namespace

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

UnitGroups UnitGroups::Of(int unit) {
    if (unit <= 1)
        return {QString(kSection), QString(kLimitsSection), QStringLiteral("Protection")};
    const QString group = QStringLiteral("Unit%1").arg(unit);
    return {group, group, group};
}

QString DefaultUnitName(int unit) {
    return QStringLiteral("Unit %1").arg(unit);
}

SettingsStore::SettingsStore(int unit)
    : store_(std::make_unique<QSettings>(QString(kOrganisation), QString())), unit_(unit),
      groups_(UnitGroups::Of(unit)) {}

SettingsStore::SettingsStore(const QString& path, int unit)
    : store_(std::make_unique<QSettings>(path, QSettings::IniFormat)), unit_(unit),
      groups_(UnitGroups::Of(unit)) {}

QStringList SettingsStore::allGroups() const {
    return store_->childGroups();
}

bool SettingsStore::renumber(int unit) {
    if (unit_ <= 1 || unit <= 1) return false;
    const UnitGroups to = UnitGroups::Of(unit);
    store_->beginGroup(groups_.main);
    const QStringList keys = store_->childKeys();
    store_->endGroup();
    for (const QString& key : keys)
        store_->setValue(to.main + u'/' + key, store_->value(groups_.main + u'/' + key));
    store_->remove(groups_.main);
    unit_ = unit;
    groups_ = to;
    return written();
}

bool SettingsStore::removeUnit() {
    if (unit_ <= 1) return false;
    store_->remove(groups_.main);
    return written();
}

SettingsStore::~SettingsStore() = default;
SettingsStore::SettingsStore(SettingsStore&&) noexcept = default;
SettingsStore& SettingsStore::operator=(SettingsStore&&) noexcept = default;

QString SettingsStore::fileName() const {
    return store_->fileName();
}

QString SettingsStore::text(const QString& group, const QString& key) const {
    const QVariant value = store_->value(group + u'/' + key);
    // A hand-edited value with commas comes back as a list; keep it whole.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
    return value.toString();
}

StoredSettings SettingsStore::load() const {
    StoredSettings s;
    // Each unit records and plays its own files unless told otherwise.
    if (unit_ > 1) {
        s.recordFileName = QStringLiteral("Velmora-%1.log").arg(unit_);
        s.controlFileName = QStringLiteral("Velmora-%1.dat").arg(unit_);
    }
    LoadNumber(*this, kKeyVoltageLimit, s.voltageLimit);
    LoadNumber(*this, kKeyCurrentLimit, s.currentLimit);
    LoadNumber(*this, kKeyPort, s.port);
    LoadText(*this, kKeyRecordFile, s.recordFileName);
    LoadText(*this, kKeyControlFile, s.controlFileName);
    s.name = text(groups_.main, QStringLiteral("Name"));
    if (s.name.isEmpty()) s.name = DefaultUnitName(unit_);
    store_->beginGroup(kPortsSection);
    const QStringList keys = store_->childKeys();
    store_->endGroup();
    for (const QString& key : keys) {
        bool ok = false;
        const int port = key.mid(3).toInt(&ok);
        if (!key.startsWith(QStringLiteral("COM")) || !ok) continue;
        const QString device = text(QString(kPortsSection), key);
        if (!device.isEmpty()) s.portDevices.insert(port, device);
    }
    return s;
}

StoredUserLimits SettingsStore::userLimits(Model model) const {
    if (model == Model::None) return {};
    const Limits own = LimitsOf(model);
    StoredUserLimits out;
    const auto read = [&](bool voltage, int modelLimit, auto& into) {
        const QString key = UserLimitKey(model, voltage);
        const QString stored = text(groups_.limits, key);
        const StoredLimit limit = ParseUserLimit(stored, modelLimit);
        if (limit.value) into.emplace(*limit.value);
        if (limit.unreadable) out.unreadable << key + u'=' + stored;
    };
    read(true, own.voltage.value, out.limits.voltage);
    read(false, own.current.value, out.limits.current);
    return out;
}

bool SettingsStore::written() {
    store_->sync();
    return store_->status() == QSettings::NoError;
}

bool SettingsStore::saveText(const QString& key, const QString& text) {
    store_->setValue(groups_.main + u'/' + key, text);
    return written();
}

bool SettingsStore::saveTexts(const QString& group, const QList<QPair<QString, QString>>& texts) {
    for (const auto& [key, text] : texts) {
        const QString path = group + u'/' + key;
        if (text.isEmpty())
            store_->remove(path);
        else
            store_->setValue(path, text);
    }
    return written();
}

bool SettingsStore::saveModelLimits(const Limits& limits) {
    store_->setValue(mainKey(kKeyVoltageLimit), QString::number(limits.voltage.value));
    store_->setValue(mainKey(kKeyCurrentLimit), QString::number(limits.current.value));
    return written();
}

bool SettingsStore::savePort(qint16 port) {
    return saveText(QString(kKeyPort), QString::number(port));
}

bool SettingsStore::saveFileNames(const QString& recordFile, const QString& controlFile) {
    store_->setValue(mainKey(kKeyRecordFile), recordFile);
    store_->setValue(mainKey(kKeyControlFile), controlFile);
    return written();
}

bool SettingsStore::savePortDevice(int port, const QString& device) {
    const QString key = QString(kPortsSection) + u'/' + PortKey(port);
    if (device.isEmpty())
        store_->remove(key);
    else
        store_->setValue(key, device);
    return written();
}

bool SettingsStore::saveUserLimits(Model model, const UserLimits& limits) {
    if (model == Model::None) return true;
    const auto save = [this](const QString& key, auto value) {
        const QString path = groups_.limits + u'/' + key;
        if (value)
            store_->setValue(path, QString::number(value->value));
        else
            store_->remove(path);
    };
    save(UserLimitKey(model, true), limits.voltage);
    save(UserLimitKey(model, false), limits.current);
    return written();
}

QString UserLimitKey(Model model, bool voltage) {
    if (model == Model::None) return {};
    return (voltage ? QStringLiteral("MaxU_") : QStringLiteral("MaxI_")) +
           QString::number(LimitsOf(model).current.value);
}

} // namespace velmora
