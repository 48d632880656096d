// The MQTT bridge in a program of its own, over two fake units, for the
// tests that end it as a user or a crash would:
//   mqtt_bridge_child PORT TOPIC
// prints "connected" once the broker has taken it; SIGTERM ends it cleanly.

#include "core/clock.h"
#include "core/end_signals.h"
#include "mqtt/mqtt_bridge.h"
#include "mqtt/mqtt_client.h"
#include "support/fake_bench_feed.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    velmora::BlockEndSignals();
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: mqtt_bridge_child PORT TOPIC\n");
        return 2;
    }
    velmora::RealClock clock;
    velmora::test::FakeBenchFeed feed(2);
    velmora::MqttBridge bridge(feed, clock, std::make_unique<velmora::MqttClient>(clock),
                               QStringLiteral("child"), QStringLiteral("0.1"));
    QObject::connect(&bridge, &velmora::MqttBridge::news, [](const QString& line) {
        if (line.startsWith(QStringLiteral("mqtt: connected"))) {
            std::printf("connected\n");
            std::fflush(stdout);
        }
    });
    velmora::MqttSettings settings;
    settings.enabled = true;
    settings.port = quint16(arguments[1].toUInt());
    settings.topic = arguments[2];
    bridge.apply(settings);
    velmora::EndSignals end;
    QObject::connect(&end, &velmora::EndSignals::asked, [&] {
        bridge.stop();
        app.quit();
    });
    return app.exec();
}
