#include "meters/protection.h"

#include "meters/meter_text.h"

#include <QSettings>
#include <algorithm>

namespace velmora {

namespace {

// Past this many digits every threshold is beyond any model's range.
constexpr qsizetype kMaxDigits = 12;

std::optional<qint64> WholeNumber(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    qint64 value = 0;
    qsizetype significant = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > 0 && ++significant > kMaxDigits) return std::nullopt;
    }
    return value;
}

TripRule Rule(const QString& text, qint64 limit) {
    const auto value = WholeNumber(text);
    if (!value || *value == 0 || *value > limit) return {};
    return {true, *value};
}

int Frames(const QString& text) {
    const auto value = WholeNumber(text);
    if (!value || *value < 1) return ProtectionSettings::kDefaultFrames;
    return int(std::min<qint64>(*value, ProtectionSettings::kMaxFrames));
}

// Thousandths as a decimal with at least `decimals` places: 12050, 1 -> "12.05".
QString Decimal(qint64 thousandths, int decimals) {
    QString text =
        QStringLiteral("%1.%2").arg(thousandths / 1000).arg(thousandths % 1000, 3, 10, QChar(u'0'));
    for (int places = 3; places > decimals && text.endsWith(u'0'); --places)
        text.chop(1);
    return text;
}

struct Shown {
    const char* name;
    const char* unit;
    int decimals;
};

Shown ShownAs(Quantity quantity) {
    switch (quantity) {
    case Quantity::Voltage:
        return {"voltage", "V", 1};
    case Quantity::Current:
        return {"current", "A", 2};
    case Quantity::Power:
        break;
    }
    return {"power", "W", 3};
}

} // namespace

void Protection::setSettings(const ProtectionSettings& settings) {
    const TripRule* before[] = {&settings_.voltage, &settings_.current, &settings_.power};
    const TripRule* after[] = {&settings.voltage, &settings.current, &settings.power};
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (!(*before[i] == *after[i])) runs_[i] = 0;
    }
    settings_ = settings;
}

std::optional<Trip> Protection::take(const Values& frame) {
    if (trip_) return std::nullopt;
    const int frames = std::clamp(settings_.frames, 1, ProtectionSettings::kMaxFrames);
    const TripRule rules[] = {settings_.voltage, settings_.current, settings_.power};
    const qint64 values[] = {VoltageOf(frame).value, CurrentOf(frame).value, frame.milliwatts()};
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const bool above = rules[i].on && values[i] > rules[i].threshold;
        runs_[i] = above ? std::min(runs_[i] + 1, frames) : 0;
    }
    for (std::size_t i = 0; i < runs_.size() && !trip_; ++i) {
        if (runs_[i] >= frames) trip_ = Trip{Quantity(i), values[i], rules[i].threshold, frames};
    }
    return trip_;
}

void Protection::clear() {
    trip_.reset();
    runs_ = {};
}

ProtectionSettings ParseProtectionSettings(const ProtectionTexts& texts, const Limits& range) {
    ProtectionSettings settings;
    settings.voltage = Rule(texts.voltage, range.voltage.value);
    settings.current = Rule(texts.current, range.current.value);
    settings.power = Rule(texts.power, qint64(range.voltage.value) * range.current.value / 1000);
    settings.frames = Frames(texts.frames);
    return settings;
}

ProtectionSettings ReadProtectionSettings(QSettings& store, const Limits& range) {
    store.beginGroup(QLatin1StringView(kProtectionGroup));
    const auto text = [&store](const char* key) {
        return store.value(QLatin1StringView(key)).toString();
    };
    const ProtectionTexts texts{text(kOverVoltageKey), text(kOverCurrentKey), text(kOverPowerKey),
                                text(kTripFramesKey)};
    store.endGroup();
    return ParseProtectionSettings(texts, range);
}

void SaveProtectionSettings(QSettings& store, const ProtectionSettings& settings) {
    store.beginGroup(QLatin1StringView(kProtectionGroup));
    const auto save = [&store](const char* key, const TripRule& rule) {
        if (rule.on)
            store.setValue(QLatin1StringView(key), QString::number(rule.threshold));
        else
            store.remove(QLatin1StringView(key));
    };
    save(kOverVoltageKey, settings.voltage);
    save(kOverCurrentKey, settings.current);
    save(kOverPowerKey, settings.power);
    store.setValue(QLatin1StringView(kTripFramesKey), QString::number(settings.frames));
    store.endGroup();
}

QString TripMessage(const Trip& trip, QTime at) {
    const Shown shown = ShownAs(trip.quantity);
    return QStringLiteral("Output zeroed: %1 %2 %3 above %4 %3 for %5 %6 at %7")
        .arg(QLatin1StringView(shown.name), Decimal(trip.value, shown.decimals),
             QLatin1StringView(shown.unit), Decimal(trip.threshold, shown.decimals))
        .arg(trip.frames)
        .arg(QLatin1StringView(trip.frames == 1 ? "frame" : "frames"), ClockText(at));
}

} // namespace velmora
