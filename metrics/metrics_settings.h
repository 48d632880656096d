#pragma once
// Where the Prometheus page listens: the settings group "Metrics" (Port,
// off when empty or 0; Address, loopback unless given) and
// `--metrics [ADDRESS:]PORT`.

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

namespace velmora {

class SettingsStore;

struct MetricsSettings {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0; // 0: off
    bool enabled() const { return port != 0; }
    friend bool operator==(const MetricsSettings&, const MetricsSettings&) = default;
};

/// "9464", "127.0.0.1:9464", "0.0.0.0:9464", "[::1]:9464"; loopback when no
/// address is given. Nothing for any other text.
std::optional<MetricsSettings> ParseMetricsPlace(const QString& text);

/// The group's texts read into settings; a value that cannot be read keeps
/// its default (off, loopback) and `problems` names it.
MetricsSettings ReadMetricsSettings(const QString& port, const QString& address,
                                    QStringList* problems = nullptr);
MetricsSettings LoadMetricsSettings(const SettingsStore& store, QStringList* problems = nullptr);

/// Why `--metrics`'s argument cannot be read; empty when it can (or is empty).
QString MetricsArgumentProblem(const QString& argument);
/// The stored settings, or the place `--metrics` gives when it is not empty.
MetricsSettings MetricsSettingsForRun(const SettingsStore& store, const QString& argument,
                                      QStringList* problems = nullptr);

} // namespace velmora
