#include "workbench/workbench.h"

#include "core/command_line.h"
#include "link/serial_line.h"
#include "mqtt/mqtt_client.h"

#include <QCoreApplication>
#include <QSysInfo>

namespace velmora {

Workbench::Workbench(const RunOptions& options, QObject* parent)
    : QObject(parent), options_(options), units_(clock_, &MakeQtSerialLine),
      remote_(units_, clock_, store_), feed_(units_),
      mqtt_(feed_, clock_, std::make_unique<MqttClient>(clock_), QSysInfo::machineHostName(),
            ProgramVersion()),
      metrics_(clock_, [this] {
          return SnapshotOf(feed_, double(clock_.monotonicNs() - startedNs_) / 1e9,
                            int(remote_.clients().size()));
      }),
      startedNs_(clock_.monotonicNs()) {
    connect(&remote_, &RemoteServer::news, this, &Workbench::news);
    connect(&mqtt_, &MqttBridge::news, this, &Workbench::news);
    connect(&metrics_, &MetricsServer::news, this, &Workbench::news);
    connect(&units_, &Units::message, this, &Workbench::news);
    connect(&units_, &Units::ended, this, &Workbench::ended);
    connect(&endSignals_, &EndSignals::asked, this, [this](int signal) {
        emit signalled(signal);
        shutdown();
    });
}

Workbench::~Workbench() = default;

bool Workbench::start(QString* error) {
    // A unit added later draws its runs' pictures too.
    connect(&units_, &Units::changed, this, [this] {
        for (int n = 1; n <= units_.count(); ++n)
            units_.at(n).runs().drawPicturesWith(QCoreApplication::applicationDirPath());
    });
    units_.start();
    const auto tell = [this](const QString& group, const QStringList& problems) {
        for (const QString& problem : problems)
            emit news(QStringLiteral("settings file %1, [%2] %3").arg(store_.fileName(), group, problem));
    };
    QStringList problems;
    const RemoteSettings remote =
        RemoteSettingsForRun(store_, options_.remote, options_.headless, &problems);
    tell(QStringLiteral("Remote"), problems);
    problems.clear();
    const MqttSettings mqtt = MqttSettingsForRun(store_, options_.mqtt, &problems);
    tell(QStringLiteral("MQTT"), problems);
    // The broker is looked for in the background: its absence ends nothing.
    if (!mqtt_.apply(mqtt)) emit news(QStringLiteral("MQTT: ") + mqtt_.problem());
    problems.clear();
    const MetricsSettings metrics = MetricsSettingsForRun(store_, options_.metrics, &problems);
    tell(QStringLiteral("Metrics"), problems);
    QString remoteError, metricsError;
    const bool remoteUp = remote_.apply(remote, &remoteError) || !remote.enabled;
    const bool metricsUp = metrics_.apply(metrics, &metricsError) || !metrics.enabled();
    QStringList errors;
    if (!remoteUp) errors << QStringLiteral("Remote control cannot listen: ") + remoteError;
    if (!metricsUp) errors << QStringLiteral("The Prometheus page cannot listen: ") + metricsError;
    if (error) *error = errors.join(u'\n');
    return errors.isEmpty();
}

void Workbench::shutdown() {
    remote_.stop();
    mqtt_.stop();
    metrics_.apply({});
    units_.shutdown();
}

} // namespace velmora
