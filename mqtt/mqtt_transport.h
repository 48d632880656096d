#pragma once
// What the bridge needs of a connection to a broker: publish, subscribe,
// messages in, and its state. MqttClient is the real one (libmosquitto);
// the tests put a recording one in its place.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

namespace velmora {

/// Where and how to connect.
struct MqttConnection {
    QString host;
    quint16 port = 1883;
    QString clientId;
    QString username;                   // empty: no login
    std::optional<QByteArray> password; // only with a username
    QString caFile;                     // set: TLS against this CA
    QString willTopic;                  // retained, QoS 1, when the link dies
    QByteArray willPayload;
    int keepAliveSeconds = 20;
};

/// The connection as the MQTT window shows it.
struct MqttLinkStatus {
    enum State { Off, Connecting, Connected, Waiting };
    State state = Off;
    QString problem;          // why the last attempt or connection ended
    qint64 nextAttemptNs = 0; // Waiting: when the next attempt starts (monotonic)
    quint64 sent = 0, received = 0;
};

/// A connection to a broker that keeps itself up once started.
class MqttTransport : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~MqttTransport() override;

    /// Connects, and connects again whenever the link is lost.
    virtual void start(const MqttConnection& connection) = 0;
    /// Disconnects cleanly (the broker drops the will) and stays off.
    virtual void stop() = 0;
    /// Hands a message to the broker; false when not connected, or when
    /// too much waits to be written already.
    virtual bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain) = 0;
    virtual bool subscribe(const QString& pattern, int qos) = 0;
    /// Messages wait to be written: the broker or the network is slow.
    virtual bool backlogged() const = 0;
    virtual MqttLinkStatus status() const = 0;

  signals:
    void connected();
    void disconnected();
    /// A message on a subscribed topic; `retained` when the broker kept it
    /// from before and hands it out on subscribing.
    void message(const QString& topic, const QByteArray& payload, bool retained);
    void statusChanged();
};

} // namespace velmora
