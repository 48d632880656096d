// The "MQTT" window, offscreen: it shows the settings, stores and applies
// each change at once, refuses what it cannot use, and shows the state of
// the connection and its counters.

#include "core/settings_store.h"
#include "mqtt/mqtt_bridge.h"
#include "panel/mqtt_window.h"
#include "support/fake_bench_feed.h"
#include "support/fake_clock.h"
#include "support/fake_mqtt_transport.h"
#include "support/print_qt.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

struct Window {
    Window()
        : store(dir.filePath(QStringLiteral("Tarnholm.conf"))),
          bridge(feed, clock, std::unique_ptr<MqttTransport>(link = new test::FakeMqttTransport),
                 QStringLiteral("testhost"), QStringLiteral("0.1")) {
        MqttSettings s;
        s.host = QStringLiteral("10.0.0.7");
        s.rate = 7;
        bridge.apply(s);
        window = new MqttWindow(bridge, store);
        window->show();
    }
    ~Window() { delete window; }
    QString stored(const char* key) const {
        return store.text(QStringLiteral("MQTT"), QString::fromLatin1(key));
    }
    void type(QLineEdit* box, const QString& text) {
        box->setText(text);
        emit box->editingFinished();
    }
    QTemporaryDir dir;
    SettingsStore store;
    test::FakeClock clock;
    test::FakeBenchFeed feed;
    test::FakeMqttTransport* link = nullptr;
    MqttBridge bridge;
    MqttWindow* window = nullptr;
};

TEST(MqttWindow, ShowsStoresAndAppliesEachChange) {
    Window w;
    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("MQTT"));
    EXPECT_FALSE(w.window->enabled->isChecked());
    EXPECT_EQ(w.window->host->text(), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(w.window->rate->value(), 7);
    EXPECT_TRUE(w.window->discovery->isChecked());
    EXPECT_EQ(w.window->status->text(), QStringLiteral("Off."));

    struct Step {
        std::function<void()> act;
        const char* key;
        const char* stored;
    };
    const QList<Step> steps{
        {[&] { w.window->enabled->setChecked(true); }, "Enabled", "true"},
        {[&] { w.type(w.window->topic, QStringLiteral("lab/bench")); }, "Topic", "lab/bench"},
        {[&] { w.window->commands->setChecked(true); }, "Commands", "true"},
        {[&] { w.window->discovery->setChecked(false); }, "Discovery", "false"},
        {[&] { w.window->rate->setValue(20); }, "Rate", "20"},
        {[&] { w.type(w.window->host, QStringLiteral(" broker.lan ")); }, "Host", "broker.lan"},
        {[&] {
             w.window->port->setValue(1884);
             emit w.window->port->editingFinished();
         },
         "Port", "1884"},
        {[&] { w.type(w.window->username, QStringLiteral("lab")); }, "Username", "lab"},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(w.stored(step.key), QString::fromLatin1(step.stored)) << step.key;
    }
    const MqttSettings& s = w.bridge.settings();
    EXPECT_TRUE(s.enabled && s.commands && !s.discovery);
    EXPECT_EQ(s.topic, QStringLiteral("lab/bench"));
    EXPECT_EQ(s.rate, 20);
    ASSERT_FALSE(w.link->starts.isEmpty());
    EXPECT_EQ(w.link->starts.last().host, QStringLiteral("broker.lan"));
    EXPECT_EQ(w.link->starts.last().port, 1884);
    EXPECT_EQ(w.link->starts.last().username, QStringLiteral("lab"));

    // The same text again connects nothing anew.
    const qsizetype starts = w.link->starts.size();
    w.link->accept();
    w.type(w.window->host, QStringLiteral("broker.lan"));
    EXPECT_EQ(w.link->starts.size(), starts);
}

TEST(MqttWindow, RefusesWhatItCannotUse) {
    Window w;
    w.window->enabled->setChecked(true);
    struct Case {
        QLineEdit* box;
        QString text;
        QString problem;
    };
    const QList<Case> cases{
        {w.window->topic, QStringLiteral("lab/#"),
         QStringLiteral("The topic cannot be used: a topic may not hold + or #.")},
        {w.window->host, QStringLiteral("broker.lan:1884"),
         QStringLiteral("\"broker.lan:1884\" is no host name or address.")},
        {w.window->host, QString(), QStringLiteral("\"\" is no host name or address.")},
    };
    for (const Case& c : cases) {
        const QString before = c.box->text();
        const MqttSettings settings = w.bridge.settings();
        w.type(c.box, c.text);
        EXPECT_TRUE(w.window->status->text().endsWith(u'\n' + c.problem))
            << w.window->status->text().toStdString();
        EXPECT_EQ(w.bridge.settings(), settings);
        w.type(c.box, before);
    }
    EXPECT_EQ(w.stored("Topic"), QString());
    EXPECT_EQ(w.stored("Host"), QStringLiteral("10.0.0.7"));

    // A password file without a user name: the bridge says why it stays off.
    w.type(w.window->passwordFile, w.dir.filePath(QStringLiteral("pw")));
    EXPECT_EQ(w.window->status->text(), QStringLiteral("Off: PasswordFile needs a Username."));
}

TEST(MqttWindow, FollowsTheConnectionAndItsCounters) {
    Window w;
    w.window->enabled->setChecked(true);
    w.window->commands->setChecked(true);
    EXPECT_EQ(w.window->status->text(), QStringLiteral("Connecting to 10.0.0.7:1883..."));
    w.link->accept();
    w.link->deliver(QStringLiteral("velmora/testhost/1/set"), R"({"voltage":"5"})");
    w.link->deliver(QStringLiteral("velmora/testhost/1/set"), R"({"voltage":5})");
    QTest::qWait(400); // the window redraws a few times a second at most
    EXPECT_EQ(w.window->status->text(),
              QStringLiteral("Connected to 10.0.0.7:1883 as velmora-testhost, topics under "
                             "velmora/testhost."));
    EXPECT_EQ(w.window->counters->text(),
              QStringLiteral("Messages sent: %1, received: 2.").arg(w.link->link.sent));
    ASSERT_GE(w.window->lines->count(), 2);
    EXPECT_TRUE(
        w.window->lines->item(w.window->lines->count() - 2)
            ->text()
            .endsWith(QStringLiteral(
                "unit 1: {\"voltage\":\"5\"} refused: voltage must be a number, not text")));
    EXPECT_TRUE(w.window->lines->item(w.window->lines->count() - 1)
                    ->text()
                    .endsWith(QStringLiteral("unit 1: {\"voltage\":5} taken")));
}

} // namespace
} // namespace velmora
