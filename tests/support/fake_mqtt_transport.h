#pragma once
// A connection to a broker that records what the bridge publishes and
// delivers what the test sends, with no broker at all.

#include "mqtt/mqtt_transport.h"

#include <QList>
#include <QStringList>

namespace velmora::test {

class FakeMqttTransport final : public MqttTransport {
  public:
    struct Published {
        QString topic;
        QByteArray payload;
        int qos;
        bool retain;
    };

    void start(const MqttConnection& connection) override;
    void stop() override;
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain) override;
    bool subscribe(const QString& pattern, int qos) override;
    bool backlogged() const override { return backlog; }
    MqttLinkStatus status() const override { return link; }

    /// The broker accepts: the bridge's connected() runs.
    void accept();
    /// The link drops, as when the broker goes away.
    void drop(const QString& why);
    /// A message from the broker on a subscribed topic.
    void deliver(const QString& topic, const QByteArray& payload, bool retained = false);
    /// What was published on `topic`, oldest first.
    QList<Published> on(const QString& topic) const;

    QList<Published> published;
    QStringList subscribed;
    QList<MqttConnection> starts;
    int stops = 0;
    bool backlog = false;
    MqttLinkStatus link;
};

} // namespace velmora::test
