// The MQTT bridge's own rules, on a recording connection and a fake clock:
// what goes out on connecting, how often states go, commands and their
// refusals, floods, units that go, discovery turned off, and the end.

#include "mqtt/mqtt_bridge.h"
#include "mqtt/mqtt_messages.h"
#include "support/fake_bench_feed.h"
#include "support/fake_clock.h"
#include "support/fake_mqtt_transport.h"
#include "support/print_qt.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using Published = test::FakeMqttTransport::Published;

struct Bridge {
    explicit Bridge(int units = 1, MqttSettings s = On())
        : feed(units),
          bridge(feed, clock, std::unique_ptr<MqttTransport>(link = new test::FakeMqttTransport),
                 QStringLiteral("testhost"), QStringLiteral("0.1")) {
        bridge.apply(s);
    }
    static MqttSettings On() {
        MqttSettings s;
        s.enabled = true;
        s.topic = QStringLiteral("lab");
        s.commands = true;
        return s;
    }
    QStringList topics() const {
        QStringList list;
        for (const Published& p : link->published)
            list.append(p.topic);
        return list;
    }
    QList<Published> events(int unit) const {
        return link->on(UnitTopic(QStringLiteral("lab"), unit, QStringLiteral("event")));
    }
    test::FakeClock clock;
    test::FakeBenchFeed feed;
    test::FakeMqttTransport* link = nullptr;
    MqttBridge bridge;
};

TEST(MqttBridge, OnConnectingItSaysEverythingItHas) {
    Bridge b(2);
    ASSERT_EQ(b.link->starts.size(), 1);
    const MqttConnection& c = b.link->starts[0];
    EXPECT_EQ(c.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(c.port, 1883);
    EXPECT_EQ(c.clientId, QStringLiteral("velmora-testhost"));
    EXPECT_EQ(c.willTopic, QStringLiteral("lab/availability"));
    EXPECT_EQ(c.willPayload, QByteArray("offline"));
    EXPECT_TRUE(b.link->published.isEmpty());

    b.link->accept();
    QStringList expected{QStringLiteral("lab/availability")};
    for (const QString& unit : {QStringLiteral("lab_1"), QStringLiteral("lab_2")})
        for (const char* entity :
             {"sensor/%1/voltage", "sensor/%1/current", "sensor/%1/power", "sensor/%1/charge",
              "sensor/%1/energy", "binary_sensor/%1/trip", "number/%1/set_voltage",
              "number/%1/set_current", "switch/%1/output"})
            expected.append(QStringLiteral("homeassistant/") +
                            QString::fromLatin1(entity).arg(unit) + QStringLiteral("/config"));
    expected << QStringLiteral("lab/1/state") << QStringLiteral("lab/2/state");
    EXPECT_EQ(b.topics(), expected);
    const Published& online = b.link->published.first();
    EXPECT_EQ(online.payload, QByteArray("online"));
    EXPECT_TRUE(online.retain);
    EXPECT_EQ(online.qos, 1);
    for (const Published& p : b.link->published)
        EXPECT_TRUE(p.retain && !p.payload.isEmpty()) << p.topic.toStdString();
    EXPECT_EQ(b.link->published.last().payload,
              StateJson(b.feed.state(2), 0, QTimeZone::systemTimeZone()));
    EXPECT_EQ(b.link->subscribed, QStringList{QStringLiteral("lab/+/set")});
}

TEST(MqttBridge, DefaultsComeFromTheHostName) {
    MqttSettings s;
    s.enabled = true;
    Bridge plain(1, s);
    EXPECT_EQ(plain.bridge.baseTopic(), QStringLiteral("velmora/testhost"));
    EXPECT_EQ(plain.link->starts[0].port, 1883);
    QTemporaryDir dir;
    s.caFile = dir.filePath(QStringLiteral("ca.pem"));
    QFile(s.caFile).open(QIODevice::WriteOnly);
    Bridge tls(1, s);
    EXPECT_EQ(tls.link->starts[0].port, 8883);
    EXPECT_EQ(tls.link->starts[0].caFile, s.caFile);
    tls.link->accept();
    EXPECT_TRUE(tls.link->subscribed.isEmpty()) << "commands are off by default";
}

TEST(MqttBridge, StatesGoAtMostRateASecondAndAtLeastEveryTenSeconds) {
    Bridge b;
    b.link->accept();
    const QString topic = QStringLiteral("lab/1/state");
    ASSERT_EQ(b.link->on(topic).size(), 1);
    // Two seconds of frames at 80 a second, each with another voltage.
    for (int frame = 1; frame <= 160; ++frame) {
        b.clock.advance(kNsPerSecond / 80);
        b.feed.change(1, [frame](UnitState& s) { s.voltage = frame / 10.0; });
    }
    b.clock.advance(kNsPerSecond);
    const QList<Published> states = b.link->on(topic);
    EXPECT_GE(states.size(), 1 + 2 * 5 - 1);
    EXPECT_LE(states.size(), 1 + 2 * 5 + 1);
    EXPECT_TRUE(states.last().payload.startsWith("{\"voltage\":16.0,"))
        << states.last().payload.data();

    // The same values again: nothing new, until ten seconds have passed.
    const qsizetype before = states.size();
    for (int frame = 0; frame < 80; ++frame) {
        b.clock.advance(kNsPerSecond / 80);
        b.feed.change(1, [](UnitState&) {});
    }
    EXPECT_EQ(b.link->on(topic).size(), before);
    b.clock.advance(25 * kNsPerSecond);
    EXPECT_EQ(b.link->on(topic).size(), before + 2);

    // A slow broker: the newest state waits until it has caught up.
    b.link->backlog = true;
    b.feed.change(1, [](UnitState& s) { s.voltage = 1.5; });
    b.clock.advance(kNsPerSecond);
    EXPECT_EQ(b.link->on(topic).size(), before + 2);
    b.feed.change(1, [](UnitState& s) { s.voltage = 1.6; });
    b.link->backlog = false;
    b.clock.advance(kNsPerSecond);
    ASSERT_EQ(b.link->on(topic).size(), before + 3);
    EXPECT_TRUE(b.link->on(topic).last().payload.startsWith("{\"voltage\":1.6,"));
}

TEST(MqttBridge, CommandsAndTheirRefusals) {
    Bridge b;
    b.link->accept();
    struct Case {
        QString topic;
        QByteArray payload;
        bool retained;
        QString refusal; // of the door
        std::optional<UnitCommand> taken;
        const char* event; // the start of the event's text; none when taken
    };
    const QString set = QStringLiteral("lab/1/set");
    const QList<Case> cases{
        {set,
         R"({"voltage":5})",
         false,
         {},
         UnitCommand{UnitCommand::Setpoints, 5.0, {}, false},
         nullptr},
        {set,
         R"({"output":false})",
         false,
         {},
         UnitCommand{UnitCommand::Output, {}, {}, false},
         nullptr},
        {set, R"({"voltage":5})", true, {}, {}, "a retained command is not obeyed"},
        {set, R"({"voltage":"5"})", false, {}, {}, "voltage must be a number, not text"},
        {set,
         R"({"voltage":30})",
         false,
         QStringLiteral("30.0 V is beyond the limit 20.0 V"),
         {},
         "30.0 V is beyond the limit 20.0 V"},
        {QStringLiteral("lab/2/set"), R"({"voltage":5})", false, {}, {}, nullptr},
        {QStringLiteral("lab/x/set"), R"({"voltage":5})", false, {}, {}, nullptr},
    };
    for (const Case& c : cases) {
        b.feed.commands.clear();
        b.feed.refusal = c.refusal;
        const qsizetype events = b.events(1).size();
        b.link->deliver(c.topic, c.payload, c.retained);
        b.clock.advance(kNsPerSecond); // a fresh second for each
        ASSERT_EQ(b.feed.commands.size(), c.taken ? 1 : 0) << c.payload.data();
        if (c.taken) {
            EXPECT_EQ(b.feed.commands[0].second, *c.taken);
        }
        ASSERT_EQ(b.events(1).size(), events + (c.event ? 1 : 0)) << c.payload.data();
        if (c.event) {
            const Published e = b.events(1).last();
            EXPECT_TRUE(e.payload.startsWith("{\"kind\":\"refused\",\"text\":" +
                                             JsonString(QString::fromUtf8(c.event)).chopped(1)))
                << e.payload.data();
            EXPECT_FALSE(e.retain);
        }
    }
    EXPECT_TRUE(b.bridge.recentLines().last().endsWith(
        QStringLiteral("a message on lab/x/set was left: no such unit")));

    MqttSettings off = Bridge::On();
    off.commands = false;
    b.bridge.apply(off);
    b.link->accept();
    b.feed.commands.clear();
    b.link->deliver(set, R"({"voltage":5})");
    EXPECT_TRUE(b.feed.commands.isEmpty());
}

TEST(MqttBridge, AFloodIsCutToTwentyASecondAndItsEventsCounted) {
    Bridge b;
    b.link->accept();
    for (int i = 0; i < 1000; ++i)
        b.link->deliver(QStringLiteral("lab/1/set"), R"({"current":0.1})");
    EXPECT_EQ(b.feed.commands.size(), MqttBridge::kCommandsPerSecond);
    EXPECT_EQ(b.events(1).size(), MqttBridge::kEventsPerSecond);
    b.clock.advance(kNsPerSecond);
    ASSERT_EQ(b.events(1).size(), MqttBridge::kEventsPerSecond + 1);
    EXPECT_TRUE(b.events(1).last().payload.startsWith(
        R"({"kind":"left_out","text":"960 events left out: more than 20 a second",)"));
    // So are the window's lines, 20 a second, "connected" the first of them.
    const QStringList& lines = b.bridge.recentLines();
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("981 more lines like these left out")))
        << lines.last().toStdString();
    // The next second takes commands again.
    b.link->deliver(QStringLiteral("lab/1/set"), R"({"current":0.1})");
    EXPECT_EQ(b.feed.commands.size(), MqttBridge::kCommandsPerSecond + 1);
}

TEST(MqttBridge, UnitsThatGoAndDiscoveryTurnedOffLeaveNothingBehind) {
    Bridge b(2);
    b.link->accept();
    b.link->published.clear();
    b.feed.setUnitCount(1);
    QList<Published> removed;
    for (const Published& p : b.link->published)
        if (p.topic.contains(QStringLiteral("lab_2")) || p.topic == QStringLiteral("lab/2/state"))
            removed.append(p);
    ASSERT_EQ(removed.size(), 10);
    for (const Published& p : removed)
        EXPECT_TRUE(p.retain && p.payload.isEmpty()) << p.topic.toStdString();

    MqttSettings s = Bridge::On();
    s.discovery = false;
    b.bridge.apply(s);
    b.link->published.clear();
    b.link->accept();
    int configs = 0;
    for (const Published& p : b.link->published) {
        if (!p.topic.startsWith(QStringLiteral("homeassistant/"))) continue;
        ++configs;
        EXPECT_TRUE(p.payload.isEmpty()) << p.topic.toStdString();
    }
    EXPECT_EQ(configs, 18) << "both units' entities, the gone one's too";
}

TEST(MqttBridge, AnotherModelIsToldToHomeAssistant) {
    Bridge b;
    b.link->accept();
    b.link->published.clear();
    b.clock.advance(kNsPerSecond);
    b.feed.change(1, [](UnitState& s) { s.voltage = 7; });
    EXPECT_EQ(b.topics(), QStringList{QStringLiteral("lab/1/state")}) << "nothing else changed";
    b.feed.units[0].model = QStringLiteral("2,5A/25V");
    b.feed.units[0].limits = SetpointLimits{25, 2.5, 0.1, 0.01};
    b.clock.advance(kNsPerSecond);
    b.feed.change(1, [](UnitState& s) { s.setVoltage = 0; });
    const QList<Published> number =
        b.link->on(QStringLiteral("homeassistant/number/lab_1/set_voltage/config"));
    ASSERT_EQ(number.size(), 1);
    EXPECT_TRUE(number[0].payload.contains(R"("max":25.0,)"));
    EXPECT_TRUE(number[0].payload.contains(R"("model":"2,5A/25V")"));
    EXPECT_EQ(b.topics().size(), 1 + 9 + 1);
}

TEST(MqttBridge, TheEndSaysOfflineAndUnitEventsGoOut) {
    Bridge b;
    b.link->accept();
    b.feed.say(1, QStringLiteral("trip"),
               QStringLiteral("Output zeroed: voltage 12.3 V above 12.0 V"));
    ASSERT_EQ(b.events(1).size(), 1);
    EXPECT_EQ(b.events(1)[0].payload,
              EventJson(QStringLiteral("trip"),
                        QStringLiteral("Output zeroed: voltage 12.3 V above 12.0 V"),
                        b.clock.epochMs(), QTimeZone::systemTimeZone()));
    b.bridge.stop();
    EXPECT_EQ(b.link->published.last().topic, QStringLiteral("lab/availability"));
    EXPECT_EQ(b.link->published.last().payload, QByteArray("offline"));
    EXPECT_EQ(b.link->status().state, MqttLinkStatus::Off);
}

TEST(MqttBridge, SettingsItCannotUse) {
    QTemporaryDir dir;
    const QString password = dir.filePath(QStringLiteral("password"));
    QFile file(password);
    file.open(QIODevice::WriteOnly);
    file.write("secret\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    struct Case {
        std::function<void(MqttSettings&)> change;
        QString problem;
    };
    const QList<Case> cases{
        {[&](MqttSettings& s) { s.passwordFile = password; },
         QStringLiteral("PasswordFile needs a Username")},
        {[&](MqttSettings& s) {
             s.username = QStringLiteral("lab");
             s.passwordFile = password;
         },
         QStringLiteral("PasswordFile %1 is open to its group or others (mode 0604): chmod 600 it")
             .arg(password)},
        {[&](MqttSettings& s) {
             s.username = QStringLiteral("lab");
             s.passwordFile = dir.filePath(QStringLiteral("none"));
         },
         QStringLiteral("PasswordFile %1 cannot be read: No such file or directory")
             .arg(dir.filePath(QStringLiteral("none")))},
        {[&](MqttSettings& s) { s.caFile = dir.filePath(QStringLiteral("ca.pem")); },
         QStringLiteral("CAFile %1 cannot be read").arg(dir.filePath(QStringLiteral("ca.pem")))},
    };
    for (const Case& c : cases) {
        MqttSettings s = Bridge::On();
        c.change(s);
        Bridge b(1, s);
        EXPECT_EQ(b.bridge.problem(), c.problem);
        EXPECT_TRUE(b.link->starts.isEmpty());
        EXPECT_EQ(b.bridge.statusText(), QStringLiteral("Off: ") + c.problem + u'.');
    }
}

TEST(MqttBridge, WhatTheWindowSays) {
    Bridge b;
    EXPECT_EQ(b.bridge.statusText(), QStringLiteral("Connecting to 127.0.0.1:1883..."));
    b.link->accept();
    EXPECT_EQ(b.bridge.statusText(),
              QStringLiteral("Connected to 127.0.0.1:1883 as velmora-testhost, topics under lab."));
    b.link->link.nextAttemptNs = b.clock.monotonicNs() + 4 * kNsPerSecond;
    b.link->drop(QStringLiteral("the connection was lost: Connection reset by peer."));
    EXPECT_EQ(b.bridge.statusText(),
              QStringLiteral("Not connected to 127.0.0.1:1883: the connection was lost: Connection "
                             "reset by peer. Next attempt in 4 s."));
    MqttSettings off = Bridge::On();
    off.enabled = false;
    b.bridge.apply(off);
    EXPECT_EQ(b.bridge.statusText(), QStringLiteral("Off."));
}

} // namespace
} // namespace velmora
