#pragma once
// The bench on an MQTT broker: each unit's state (retained) and events
// under <Topic>/<unit>/, the program's availability, Home Assistant
// discovery, and, with Commands=true, commands from <Topic>/<unit>/set
// through the unit's door.

#include "core/clock.h"
#include "feed/bench_feed.h"
#include "mqtt/mqtt_settings.h"
#include "mqtt/mqtt_transport.h"

#include <QStringList>
#include <QTimeZone>
#include <limits>
#include <memory>
#include <vector>

namespace velmora {

/// At most `limit` a second; what is over it is counted.
class RateWindow {
  public:
    explicit RateWindow(int limit) : limit_(limit) {}
    /// Whether one more may go at `nowNs`.
    bool take(qint64 nowNs);
    /// When the running second ends.
    qint64 windowEndNs() const { return startNs_ + kNsPerSecond; }

  private:
    int limit_;
    int count_ = 0;
    qint64 startNs_ = std::numeric_limits<qint64>::min() / 2;
};

/// Publishes the bench's units and takes their commands from the broker.
class MqttBridge : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 kHeartbeatMs = 10'000;
    static constexpr int kCommandsPerSecond = 20; // per unit; more are refused
    static constexpr int kEventsPerSecond = 20;   // per unit; more are counted, then said
    static constexpr int kRecentLines = 50;
    static constexpr int kLinesPerSecond = 20; // for the window and the log

    /// `hostName` makes the default topic and client id; `version` goes
    /// into the discovery's device.
    MqttBridge(BenchFeed& feed, Clock& clock, std::unique_ptr<MqttTransport> transport,
               const QString& hostName, const QString& version, QObject* parent = nullptr);
    /// Stops cleanly (see stop()).
    ~MqttBridge() override;

    /// Runs as the settings say: connects, reconnects, or stops. False, with
    /// problem() set, when they cannot be used (a password file others may
    /// read, a CA file that cannot be read, ...); it stays off then.
    bool apply(const MqttSettings& settings);
    /// Says `offline` on the availability topic and disconnects: the end of
    /// the program.
    void stop();

    const MqttSettings& settings() const { return settings_; }
    QString baseTopic() const { return base_; }
    MqttLinkStatus status() const { return transport_->status(); }
    /// Why the settings cannot be used; empty when they can.
    const QString& problem() const { return problem_; }
    /// One line for the MQTT window: connected, connecting, waiting and why.
    QString statusText() const;
    /// Commands refused or taken, topics that are no unit's; newest last.
    const QStringList& recentLines() const { return recent_; }

  signals:
    /// The connection's state, the counters or the lines changed.
    void changed();
    /// One line for a log: connected, lost, a command refused.
    void news(const QString& text);

  private:
    struct Unit;

    void connected();
    void take(const QString& topic, const QByteArray& payload, bool retained);
    void refuse(int unit, const QByteArray& payload, const QString& why);
    void unitChanged(int unit);
    void publishState(int unit, bool always);
    void publishEvent(int unit, const QString& kind, const QString& text);
    void sayLeftOut(int unit);
    void publishDiscovery();
    void discover(int unit, bool always);
    void unitsChanged();
    void resizeUnits();
    void note(const QString& line);
    Unit* unitAt(int unit);

    BenchFeed& feed_;
    Clock& clock_;
    std::unique_ptr<MqttTransport> transport_;
    QString hostName_, version_;
    MqttSettings settings_;
    QString base_;
    QString problem_;
    QTimeZone zone_;
    std::vector<std::unique_ptr<Unit>> units_;
    int mostUnits_ = 0; // the most units this run has had: discovery removes the gone ones
    QStringList recent_;
    RateWindow lines_{kLinesPerSecond};
    int linesLeftOut_ = 0;
    Timer linesLeftOutReport_;
};

} // namespace velmora
