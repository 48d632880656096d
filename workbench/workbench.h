#pragma once
// The bench one run of the program works: the settings file, the clock, the
// unit's session and remote control, put together once for the run with no
// window and the panel alike.

#include "core/clock.h"
#include "core/end_signals.h"
#include "core/settings_store.h"
#include "metrics/metrics_server.h"
#include "mqtt/mqtt_bridge.h"
#include "remote/remote_server.h"
#include "session/session.h"
#include "session/units.h"
#include "workbench/units_feed.h"

#include <QObject>
#include <QStringList>

namespace velmora {

/// What a run of the program asks for on its command line.
struct RunOptions {
    bool headless = false;
    QString remote;  // --remote's [ADDRESS:]PORT, found readable; empty when not given
    QString mqtt;    // --mqtt's HOST[:PORT], likewise
    QString metrics; // --metrics's [ADDRESS:]PORT, likewise
};

/// Owns the bench's parts and their order of starting and ending. A signal
/// (SIGTERM, SIGINT, SIGHUP) ends it as closing the panel does.
class Workbench : public QObject {
    Q_OBJECT
  public:
    /// The bench on the user's settings file and the real serial line.
    explicit Workbench(const RunOptions& options, QObject* parent = nullptr);
    ~Workbench() override;

    /// The bench's units; unit 1 is always there.
    Units& units() { return units_; }
    Session& session() { return units_.at(1); }
    RemoteServer& remote() { return remote_; }
    MqttBridge& mqtt() { return mqtt_; }
    MetricsServer& metrics() { return metrics_; }
    /// The store of the bench-wide groups ([Remote], [MQTT], [Metrics], [Bench]).
    SettingsStore& store() { return store_; }
    Clock& clock() { return clock_; }

    /// Opens the ports, listens and connects to the broker as the settings
    /// and the command line say. Says each setting it cannot read once
    /// (news()). False, with `error` set, when remote control or the
    /// Prometheus page was to listen and cannot.
    bool start(QString* error = nullptr);
    /// Ends the bench: the command on the line goes out whole, then ended().
    void shutdown();

  signals:
    /// One line for the user or a log: a setting that cannot be read, the
    /// link, remote control's clients, a watchdog.
    void news(const QString& text);
    /// A signal asked the program to end; shutdown() follows at once.
    void signalled(int signal);
    /// Nothing more can go out: the program may return from its event loop.
    void ended();

  private:
    RunOptions options_;
    SettingsStore store_;
    RealClock clock_;
    Units units_;
    RemoteServer remote_;
    UnitsFeed feed_;
    MqttBridge mqtt_;
    MetricsServer metrics_;
    EndSignals endSignals_;
    qint64 startedNs_;
};

} // namespace velmora
