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
    /// Whether the broker took the bridge's subscription to commands under
    /// `topic`: a command published before it would be lost.
    static bool listening(const MosquittoBroker& broker, const QString& topic) {
        return WaitUntil(
            [&] { return broker.log().contains(u' ' + topic + QStringLiteral("/+/set")); }, 10s);
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

TEST_F(MqttBroker, DiscoveryConfigurationsAndTheirRemoval) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Bench bench(2);
    MqttSettings s = SettingsFor(broker, QStringLiteral("disc"));
    s.commands = true;
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    const auto configs = [&] {
        QList<SeenMessage> found;
        for (const SeenMessage& m :
             test::RetainedMessages(broker, QStringLiteral("homeassistant/#")))
            if (!m.payload.isEmpty()) found.append(m);
        return found;
    };
    ASSERT_TRUE(WaitUntil([&] { return configs().size() == 18; }, 10s));
    const QList<SeenMessage> all = configs();
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const SeenMessage& m) {
        return m.topic == QStringLiteral("homeassistant/switch/disc_2/output/config") &&
               m.payload.contains(R"("command_topic":"disc/2/set")");
    }));

    // Without commands the numbers and the switch go; one unit fewer takes its entities along.
    s.commands = false;
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    bench.feed.setUnitCount(1);
    EXPECT_TRUE(WaitUntil([&] { return configs().size() == 6; }, 10s)) << configs().size();
    for (const SeenMessage& m : configs())
        EXPECT_TRUE(m.topic.contains(QStringLiteral("/disc_1/")) &&
                    !m.topic.startsWith(QStringLiteral("homeassistant/number")))
            << m.topic.toStdString();
    const QList<SeenMessage> kept = test::RetainedMessages(broker, QStringLiteral("disc/#"));
    EXPECT_TRUE(std::none_of(kept.begin(), kept.end(), [](const SeenMessage& m) {
        return m.topic == QStringLiteral("disc/2/state");
    }));

    s.discovery = false;
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    EXPECT_TRUE(WaitUntil([&] { return configs().isEmpty(); }, 10s)) << configs().size();
}

TEST_F(MqttBroker, CommandsOnlyWithCommandsOnAndNeverRetained) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Bench bench;
    MqttSettings s = SettingsFor(broker, QStringLiteral("cmd"));
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    MqttWatcher events(broker, {QStringLiteral("cmd/1/event")});
    ASSERT_TRUE(events.ready());
    const QString set = QStringLiteral("cmd/1/set");

    // Commands=false: nothing is subscribed, nothing is taken.
    ASSERT_TRUE(test::MqttPublish(broker, set, R"({"voltage":5})"));
    s.commands = true;
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    ASSERT_TRUE(Bench::listening(broker, QStringLiteral("cmd")));
    ASSERT_TRUE(test::MqttPublish(broker, set, R"({"voltage":6,"current":0.25})"));
    ASSERT_TRUE(WaitUntil([&] { return !bench.feed.commands.isEmpty(); }, 10s))
        << broker.log().toStdString();
    ASSERT_EQ(bench.feed.commands.size(), 1);
    EXPECT_EQ(bench.feed.commands[0].second,
              (UnitCommand{UnitCommand::Setpoints, 6.0, 0.25, false}));

    // The door refuses: the reason comes on `event`.
    bench.feed.refusal = QStringLiteral("Output zeroed by a trip: clear it first");
    ASSERT_TRUE(test::MqttPublish(broker, set, R"({"output":true})"));
    EXPECT_TRUE(events.waitFor(QStringLiteral("cmd/1/event"), [](const SeenMessage& m) {
        return m.payload.startsWith(
            R"({"kind":"refused","text":"Output zeroed by a trip: clear it first",)");
    }));
    bench.feed.refusal.clear();

    // A command left retained is obeyed as it comes, never again after a reconnect.
    ASSERT_TRUE(test::MqttPublish(broker, set, R"({"current":0.5})", true));
    ASSERT_TRUE(WaitUntil([&] { return bench.feed.commands.size() == 2; }, 10s));
    s.clientId = QStringLiteral("reconnected");
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    EXPECT_TRUE(events.waitFor(QStringLiteral("cmd/1/event"), [](const SeenMessage& m) {
        return m.payload.contains("a retained command is not obeyed");
    }));
    EXPECT_EQ(bench.feed.commands.size(), 2);
    test::MqttPublish(broker, set, {}, true);
}

TEST_F(MqttBroker, ReconnectsAfterTheBrokerRestarts) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Bench bench;
    MqttSettings s = SettingsFor(broker, QStringLiteral("again"));
    s.host = QStringLiteral("localhost"); // looked up in the background
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    broker.stop();
    ASSERT_TRUE(bench.waiting());
    EXPECT_TRUE(bench.bridge.statusText().startsWith(
        QStringLiteral("Not connected to localhost:%1: ").arg(broker.port())))
        << bench.bridge.statusText().toStdString();
    // It keeps trying with a growing pause while the broker is away.
    QTest::qWait(2500);
    EXPECT_EQ(bench.bridge.status().state, MqttLinkStatus::Waiting);
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    EXPECT_TRUE(
        WaitUntil([&] { return bench.bridge.status().state == MqttLinkStatus::Connected; }, 20s))
        << bench.bridge.statusText().toStdString();
    MqttWatcher watcher(broker, {QStringLiteral("again/#")});
    EXPECT_TRUE(watcher.waitForPayload(QStringLiteral("again/availability"), "online"));
    EXPECT_TRUE(watcher.waitFor(QStringLiteral("again/1/state"),
                                [](const SeenMessage& m) { return m.retained; }));
}

TEST_F(MqttBroker, TheLastWillOfAKilledProgramAndTheCleanEndOfAnother) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    MqttWatcher watcher(broker, {QStringLiteral("child/availability")});
    ASSERT_TRUE(watcher.ready());
    for (const bool killed : {true, false}) {
        QProcess child;
        child.start(QStringLiteral(VELMORA_BIN_DIR "/mqtt_bridge_child"),
                    {QString::number(broker.port()), QStringLiteral("child")});
        ASSERT_TRUE(child.waitForReadyRead(10'000)) << child.readAllStandardError().toStdString();
        EXPECT_EQ(child.readLine().trimmed(), QByteArray("connected"));
        const qsizetype before = watcher.seenOn(QStringLiteral("child/availability")).size();
        EXPECT_TRUE(WaitUntil(
            [&] {
                const auto seen = watcher.seenOn(QStringLiteral("child/availability"));
                return !seen.isEmpty() && seen.last().payload == "online";
            },
            10s));
        if (killed)
            child.kill();
        else
            child.terminate();
        ASSERT_TRUE(child.waitForFinished(10'000));
        if (!killed) {
            EXPECT_EQ(child.exitCode(), 0);
        }
        EXPECT_TRUE(WaitUntil(
            [&] {
                const auto seen = watcher.seenOn(QStringLiteral("child/availability"));
                return seen.size() > before + 1 && seen.last().payload == "offline";
            },
            10s))
            << (killed ? "killed" : "terminated");
    }
}

// The longest a 10 ms timer waited past its time while `during` ran the event loop.
qint64 LongestStallMs(const std::function<void()>& during) {
    QElapsedTimer since;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, since.restart() - 10); });
    since.start();
    tick.start(10);
    during();
    return longest;
}

TEST_F(MqttBroker, MalformedHugeAndFloodedCommands) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Bench bench;
    MqttSettings s = SettingsFor(broker, QStringLiteral("bad"));
    s.commands = true;
    bench.bridge.apply(s);
    ASSERT_TRUE(bench.connected());
    ASSERT_TRUE(Bench::listening(broker, QStringLiteral("bad")));
    MqttWatcher events(broker, {QStringLiteral("bad/1/event")});
    ASSERT_TRUE(events.ready());
    const QString set = QStringLiteral("bad/1/set");
    struct Case {
        QByteArray payload;
        const char* reason;
    };
    for (const Case& c : {Case{QByteArray(1 << 20, '{'), "the message is too long: 1048576 bytes"},
                          Case{"{\"voltage\":5", "the message is not JSON"},
                          Case{R"({"voltage":1e308})", "voltage 1e+308 V is out of range"},
                          Case{R"({"voltage":"5"})", "voltage must be a number, not text"},
                          Case{R"({"volts":5})", "unknown key"}}) {
        ASSERT_TRUE(test::MqttPublish(broker, set, c.payload));
        EXPECT_TRUE(events.waitFor(QStringLiteral("bad/1/event"), [&](const SeenMessage& m) {
            return m.payload.contains(c.reason);
        })) << c.reason;
    }
    EXPECT_TRUE(bench.feed.commands.isEmpty());

    // A thousand commands at once, one a line through mosquitto_pub -l.
    QProcess flood;
    flood.start(QStringLiteral("mosquitto_pub"), broker.clientArguments() << "-t" << set << "-l");
    ASSERT_TRUE(flood.waitForStarted());
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += R"({"voltage":)" + QByteArray::number(i % 20) + "}\n";
    flood.write(lines);
    flood.closeWriteChannel();
    QElapsedTimer took;
    took.start();
    const qint64 stall = LongestStallMs(
        [&] { WaitUntil([&] { return bench.bridge.status().received >= 1005; }, 20s); });
    EXPECT_GE(bench.bridge.status().received, 1005u);
    EXPECT_TRUE(WaitUntil([&] { return flood.state() == QProcess::NotRunning; }, 10s));
    const qsizetype limit = MqttBridge::kCommandsPerSecond * (took.elapsed() / 1000 + 2);
    // The malformed ones above may have used up part of the first second.
    EXPECT_GE(bench.feed.commands.size(), 1);
    EXPECT_LE(bench.feed.commands.size(), limit);
    EXPECT_LT(stall, 500) << "the event loop was held up";
    EXPECT_TRUE(events.waitFor(QStringLiteral("bad/1/event"), [](const SeenMessage& m) {
        return m.payload.contains("more than 20 commands a second") ||
               m.payload.contains("events left out");
    }));
}

} // namespace
} // namespace velmora
