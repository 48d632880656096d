// The MQTT bridge against a real mosquitto broker started by the test, seen
// through mosquitto_sub and mosquitto_pub as a user would: retained state,
// availability and the last will, TLS and logins, discovery, commands, a
// broker that restarts, and commands that are malformed, huge or flooded.

#include "core/clock.h"
#include "mqtt/mqtt_bridge.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_messages.h"
#include "support/fake_bench_feed.h"
#include "support/mosquitto_broker.h"
#include "support/print_qt.h"
#include "support/wait_until.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::MosquittoBroker;
using test::MqttWatcher;
using test::SeenMessage;
using test::WaitUntil;

// A bridge on the real client, over fake units.
struct Bench {
    explicit Bench(int units = 1)
        : feed(units), bridge(feed, clock, std::make_unique<MqttClient>(clock),
                              QStringLiteral("testhost"), QStringLiteral("0.1")) {}
    bool connected() {
        return WaitUntil([this] { return bridge.status().state == MqttLinkStatus::Connected; },
                         10s);
    }
    bool waiting() {
        return WaitUntil([this] { return bridge.status().state == MqttLinkStatus::Waiting; }, 10s);
    }
    RealClock clock;
    test::FakeBenchFeed feed;
    MqttBridge bridge;
};

MqttSettings SettingsFor(const MosquittoBroker& broker, const QString& topic) {
    MqttSettings s;
    s.enabled = true;
    s.port = broker.port();
    s.topic = topic;
    s.caFile = broker.caFile();
    return s;
}

QString WritePassword(const MosquittoBroker& broker, const QByteArray& password,
                      QFile::Permissions permissions) {
    const QString path = broker.path(QStringLiteral("velmora-password"));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(password + '\n');
    file.close();
    file.setPermissions(permissions);
    return path;
}

bool Has(const QList<SeenMessage>& messages, const QString& topic, const QByteArray& payload) {
    return std::any_of(messages.begin(), messages.end(), [&](const SeenMessage& m) {
        return m.topic == topic && m.payload == payload;
    });
}

class MqttBroker : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const QString why = MosquittoBroker::Unavailable(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
    }
};

TEST_F(MqttBroker, StateAndAvailabilityAreRetainedAndSaidOfflineAtTheEnd) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Bench bench(2);
    MqttWatcher watcher(broker, {QStringLiteral("lab/#")});
    ASSERT_TRUE(watcher.ready());
    bench.bridge.apply(SettingsFor(broker, QStringLiteral("lab")));
    ASSERT_TRUE(bench.connected()) << bench.bridge.statusText().toStdString();
    EXPECT_TRUE(watcher.waitForPayload(QStringLiteral("lab/availability"), "online"));
    const QByteArray state = StateJson(bench.feed.state(1), 0, QTimeZone::systemTimeZone());
    EXPECT_TRUE(watcher.waitForPayload(QStringLiteral("lab/1/state"), state));
    EXPECT_TRUE(
        watcher.waitFor(QStringLiteral("lab/2/state"), [](const SeenMessage&) { return true; }));

    // Someone subscribing later gets what is retained.
    const QList<SeenMessage> retained = test::RetainedMessages(broker, QStringLiteral("lab/#"));
    EXPECT_TRUE(Has(retained, QStringLiteral("lab/availability"), "online"));
    EXPECT_TRUE(Has(retained, QStringLiteral("lab/1/state"), state));

    bench.feed.change(1, [](UnitState& s) { s.voltage = 6.1; });
    EXPECT_TRUE(watcher.waitFor(QStringLiteral("lab/1/state"), [](const SeenMessage& m) {
        return m.payload.startsWith("{\"voltage\":6.1,");
    }));
    bench.feed.say(2, QStringLiteral("trip"), QStringLiteral("Output zeroed"));
    EXPECT_TRUE(watcher.waitFor(QStringLiteral("lab/2/event"), [](const SeenMessage& m) {
        return !m.retained && m.payload.startsWith(R"({"kind":"trip","text":"Output zeroed",)");
    }));

    bench.bridge.stop();
    EXPECT_TRUE(watcher.waitForPayload(QStringLiteral("lab/availability"), "offline"));
    EXPECT_TRUE(Has(test::RetainedMessages(broker, QStringLiteral("lab/availability")),
                    QStringLiteral("lab/availability"), "offline"));
    EXPECT_GE(bench.bridge.status().sent, 4u);
}

TEST_F(MqttBroker, TlsWithALoginFromAPasswordFile) {
    MosquittoBroker broker({{{QStringLiteral("velmora"), QStringLiteral("s3cret")}}, true});
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    MqttWatcher watcher(broker, {QStringLiteral("tls/#")});
    ASSERT_TRUE(watcher.ready());
    Bench bench;
    MqttSettings s = SettingsFor(broker, QStringLiteral("tls"));
    s.username = QStringLiteral("velmora");
    s.passwordFile = WritePassword(broker, "s3cret", QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(bench.bridge.apply(s)) << bench.bridge.problem().toStdString();
    ASSERT_TRUE(bench.connected()) << bench.bridge.statusText().toStdString();
    EXPECT_TRUE(watcher.waitForPayload(QStringLiteral("tls/availability"), "online"));

    // Another certificate than the broker's: the handshake fails, and says why.
    MosquittoBroker stranger({{}, true});
    s.caFile = stranger.caFile();
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.waiting());
    EXPECT_TRUE(bench.bridge.statusText().contains(QStringLiteral("certificate verify failed")))
        << bench.bridge.statusText().toStdString();
}

TEST_F(MqttBroker, ARefusedLoginAndAPasswordFileOthersMayRead) {
    MosquittoBroker broker({{{QStringLiteral("velmora"), QStringLiteral("right")}}, false});
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Bench bench;
    MqttSettings s = SettingsFor(broker, QStringLiteral("login"));
    s.username = QStringLiteral("velmora");
    s.passwordFile = WritePassword(broker, "wrong", QFile::ReadOwner);
    ASSERT_TRUE(bench.bridge.apply(s));
    ASSERT_TRUE(bench.waiting());
    EXPECT_TRUE(bench.bridge.statusText().startsWith(
        QStringLiteral("Not connected to 127.0.0.1:%1: the broker refused the connection: ")
            .arg(broker.port())))
        << bench.bridge.statusText().toStdString();

    s.passwordFile = WritePassword(broker, "right", QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_FALSE(bench.bridge.apply(s));
    EXPECT_EQ(bench.bridge.status().state, MqttLinkStatus::Off);
    EXPECT_EQ(bench.bridge.statusText(),
              QStringLiteral("Off: PasswordFile %1 is open to its group or others (mode 0440): "
                             "chmod 600 it.")
                  .arg(s.passwordFile));

    QFile::setPermissions(s.passwordFile, QFile::ReadOwner);
    EXPECT_TRUE(bench.bridge.apply(s));
    EXPECT_TRUE(bench.connected()) << bench.bridge.statusText().toStdString();
}

} // namespace
} // namespace velmora
