#include "support/fake_mqtt_transport.h"

namespace velmora::test {

void FakeMqttTransport::start(const MqttConnection& connection) {
    starts.append(connection);
    link.state = MqttLinkStatus::Connecting;
    emit statusChanged();
}

void FakeMqttTransport::stop() {
    ++stops;
    link.state = MqttLinkStatus::Off;
    emit statusChanged();
}

bool FakeMqttTransport::publish(const QString& topic, const QByteArray& payload, int qos,
                                bool retain) {
    if (link.state != MqttLinkStatus::Connected) return false;
    published.append({topic, payload, qos, retain});
    ++link.sent;
    return true;
}

bool FakeMqttTransport::subscribe(const QString& pattern, int) {
    subscribed.append(pattern);
    return link.state == MqttLinkStatus::Connected;
}

void FakeMqttTransport::accept() {
    link.state = MqttLinkStatus::Connected;
    link.problem.clear();
    emit connected();
    emit statusChanged();
}

void FakeMqttTransport::drop(const QString& why) {
    link.state = MqttLinkStatus::Waiting;
    link.problem = why;
    emit disconnected();
    emit statusChanged();
}

void FakeMqttTransport::deliver(const QString& topic, const QByteArray& payload, bool retained) {
    ++link.received;
    emit message(topic, payload, retained);
}

QList<FakeMqttTransport::Published> FakeMqttTransport::on(const QString& topic) const {
    QList<Published> found;
    for (const Published& p : published)
        if (p.topic == topic) found.append(p);
    return found;
}

} // namespace velmora::test
