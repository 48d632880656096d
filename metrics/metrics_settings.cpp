#include "metrics/metrics_settings.h"

#include "core/settings_store.h"

namespace velmora {

namespace {

std::optional<quint16> ParsePort(const QString& text) {
    bool ok = false;
    const uint number = text.toUInt(&ok);
    if (!ok || number > 65535 || text.startsWith(u'+') || text.trimmed() != text)
        return std::nullopt;
    return quint16(number);
}

} // namespace

std::optional<MetricsSettings> ParseMetricsPlace(const QString& text) {
    MetricsSettings s;
    QString port = text;
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon >= 0) {
        QString address = text.left(colon);
        if (address.startsWith(u'[') && address.endsWith(u']')) address = address.mid(1).chopped(1);
        s.address = QHostAddress(address);
        if (s.address.isNull()) return std::nullopt;
        port = text.mid(colon + 1);
    }
    const auto number = ParsePort(port);
    if (!number || *number == 0) return std::nullopt;
    s.port = *number;
    return s;
}

MetricsSettings ReadMetricsSettings(const QString& port, const QString& address,
                                    QStringList* problems) {
    MetricsSettings s;
    const auto problem = [problems](const QString& text) {
        if (problems) problems->append(text);
    };
    if (!port.isEmpty()) {
        if (const auto number = ParsePort(port))
            s.port = *number;
        else
            problem(QStringLiteral("Port=%1 is no port number").arg(port));
    }
    if (!address.isEmpty()) {
        const QHostAddress host(address);
        if (host.isNull())
            problem(QStringLiteral("Address=%1 is no address").arg(address));
        else
            s.address = host;
    }
    return s;
}

MetricsSettings LoadMetricsSettings(const SettingsStore& store, QStringList* problems) {
    const QString group = QStringLiteral("Metrics");
    return ReadMetricsSettings(store.text(group, QStringLiteral("Port")),
                               store.text(group, QStringLiteral("Address")), problems);
}

QString MetricsArgumentProblem(const QString& argument) {
    if (argument.isEmpty() || ParseMetricsPlace(argument)) return {};
    return QStringLiteral("--metrics takes [ADDRESS:]PORT, such as 9464 or 0.0.0.0:9464, not '%1'")
        .arg(argument);
}

MetricsSettings MetricsSettingsForRun(const SettingsStore& store, const QString& argument,
                                      QStringList* problems) {
    if (const auto place = ParseMetricsPlace(argument)) return *place;
    return LoadMetricsSettings(store, problems);
}

} // namespace velmora
