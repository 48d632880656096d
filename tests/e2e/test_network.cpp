// The bench with no window on the lab's network: a real mosquitto broker,
// mosquitto_sub and mosquitto_pub as a user runs them, Home Assistant's
// discovery messages, and the Prometheus page checked by promtool and
// scraped by a Prometheus server.

#include "e2e/headless.h"
#include "support/mosquitto_broker.h"
#include "support/netns_lab.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

using test::MosquittoBroker;
using test::MqttWatcher;
using test::SeenMessage;

QByteArray Get(quint16 port, const QByteArray& path) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000)) return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(3000))
        answer += socket.readAll();
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

QByteArray Scrape(quint16 port) {
    return Get(port, "/metrics");
}

/// A Prometheus server of the test's own, scraping one target every second.
struct PrometheusServer {
    QTemporaryDir dir;
    QProcess process;
    quint16 port = FreePort();

    bool start(quint16 target) {
        QFile config(dir.filePath("prometheus.yml"));
        if (!config.open(QIODevice::WriteOnly)) return false;
        config.write(
            QStringLiteral("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: bench\n"
                           "    static_configs:\n      - targets: ['127.0.0.1:%1']\n")
                .arg(target)
                .toUtf8());
        config.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("/usr/bin/prometheus",
                      {"--config.file=" + config.fileName(),
                       "--storage.tsdb.path=" + dir.filePath("data"),
                       QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port)});
        return process.waitForStarted(5000);
    }
    /// The value of `query` at the server now, or an empty text.
    QString value(const QByteArray& query) {
        const QJsonArray result =
            QJsonDocument::fromJson(Get(port, "/api/v1/query?query=" + query.toPercentEncoding()))
                .object()["data"]
                .toObject()["result"]
                .toArray();
        return result.isEmpty() ? QString() : result[0].toObject()["value"].toArray()[1].toString();
    }
    ~PrometheusServer() {
        process.terminate();
        if (!process.waitForFinished(5000)) process.kill();
    }
};

bool Contains(const QByteArray& payload, const char* text) {
    return payload.contains(text);
}

TEST(Network, TheBenchOnABrokerAndAPrometheusPage) {
    if (const QString why = MosquittoBroker::Unavailable(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    // A command left retained on the broker is not obeyed when the bench comes.
    ASSERT_TRUE(test::MqttPublish(broker, "lab/bench/1/set", R"({"voltage":3})", true));
    MqttWatcher watch(broker, {"lab/bench/#", "homeassistant/#"});
    ASSERT_TRUE(watch.ready());
    const quint16 metrics = FreePort();
    HeadlessBench bench({}, QStringLiteral("[MQTT]\nEnabled=true\nPort=%1\nTopic=lab/bench\n"
                                           "Commands=true\n[Metrics]\nPort=%2\n")
                                .arg(broker.port())
                                .arg(metrics)
                                .toUtf8());
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    EXPECT_TRUE(watch.waitFor("lab/bench/1/event", [](const SeenMessage& m) {
        return Contains(m.payload, "a retained command is not obeyed");
    }));
    EXPECT_TRUE(watch.waitForPayload("lab/bench/availability", "online"));
    EXPECT_TRUE(watch.waitFor("lab/bench/1/state", [](const SeenMessage& m) {
        return Contains(m.payload, "\"link\":\"receiving\"");
    }));
    EXPECT_EQ(test::RetainedMessages(broker, "lab/bench/1/state").size(), 1);
    EXPECT_TRUE(watch.waitFor("homeassistant/sensor/lab_bench_1/energy/config",
                              [](const SeenMessage& m) {
                                  return Contains(m.payload, "\"device_class\":\"energy\"") &&
                                         Contains(m.payload,
                                                  "\"state_class\":\"total_increasing\"");
                              }))
        << [&] {
               std::string topics;
               for (const SeenMessage& m : watch.seen())
                   topics += m.topic.toStdString() + " " + m.payload.left(60).toStdString() + "\n";
               return topics;
           }();

    // A command through the door; one past the model's range is answered on
    // `event`, and nothing goes to the unit.
    ASSERT_TRUE(test::MqttPublish(broker, "lab/bench/1/set", R"({"voltage":5,"current":0.5})"));
    EXPECT_EQ(bench.nextCommand(), QByteArray("050 100"));
    EXPECT_TRUE(watch.waitFor("lab/bench/1/state", [](const SeenMessage& m) {
        return Contains(m.payload, "\"set_voltage\":5.0") && Contains(m.payload, "\"voltage\":5.0");
    }));
    ASSERT_TRUE(test::MqttPublish(broker, "lab/bench/1/set", R"({"voltage":30})"));
    EXPECT_TRUE(watch.waitFor("lab/bench/1/event", [](const SeenMessage& m) {
        return Contains(m.payload, "\"kind\":\"refused\"") &&
               Contains(m.payload, "30.0 V is past the 1A/20V model's 20.0 V");
    }));
    EXPECT_EQ(bench.nextCommand(500ms), QByteArray()) << "nothing past the door";

    const QByteArray page = Scrape(metrics);
    EXPECT_TRUE(page.contains("velmora_voltage_setpoint_volts{unit=\"1\"} 5\n"))
        << page.toStdString();
    EXPECT_TRUE(page.contains("velmora_commands_sent_total{unit=\"1\"} 1\n")) << page.toStdString();
    if (QFileInfo("/usr/bin/promtool").isExecutable()) {
        QProcess promtool;
        promtool.start("/usr/bin/promtool", {"check", "metrics"});
        promtool.write(page);
        promtool.closeWriteChannel();
        ASSERT_TRUE(promtool.waitForFinished(10000));
        EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAll().toStdString();
    }

    // A clean end says offline.
    bench.panel().terminate();
    EXPECT_EQ(bench.waitForPanelExit(10s), 0) << bench.panelErrors().toStdString();
    EXPECT_TRUE(watch.waitForPayload("lab/bench/availability", "offline"));
    EXPECT_EQ(test::RetainedMessages(broker, "lab/bench/availability").value(0).payload, "offline");
}

// A user's own script with Debian's Python MQTT client: it watches a unit's
// state and sets it, as a dashboard or a logger would.
constexpr char kPahoScript[] = R"(
import json, sys, time
import paho.mqtt.client as mqtt
states = []
client = mqtt.Client()
client.on_message = lambda c, u, m: states.append(json.loads(m.payload))
client.connect("127.0.0.1", int(sys.argv[1]))
client.subscribe("lab/bench/1/state")
client.loop_start()
deadline = time.monotonic() + 15
def wait(done):
    while not (states and done(states[-1])) and time.monotonic() < deadline:
        time.sleep(0.05)
    return states[-1] if states else {}
print(wait(lambda s: s["link"] == "receiving").get("link"))
client.publish("lab/bench/1/set", json.dumps({"voltage": 4, "current": 0.5}))
s = wait(lambda s: s["set_voltage"] == 4.0 and s["voltage"] > 3.9)
print(s.get("set_voltage"), s.get("set_current"), s.get("output"), s.get("mode"))
client.loop_stop()
)";

TEST(Network, APythonClientWatchesAndSetsAUnit) {
    if (const QString why = MosquittoBroker::Unavailable(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    int code = -1;
    test::RunCommand("/usr/bin/python3", {"-c", "import paho.mqtt.client"}, &code);
    if (code != 0) GTEST_SKIP() << "python3-paho-mqtt is not installed: tools/setup installs it";
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    HeadlessBench bench(
        {}, QStringLiteral("[MQTT]\nEnabled=true\nPort=%1\nTopic=lab/bench\nCommands=true\n")
                .arg(broker.port())
                .toUtf8());
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ASSERT_TRUE(WriteFile(bench.path("watch.py"), kPahoScript));
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start("/usr/bin/python3", {bench.path("watch.py"), QString::number(broker.port())});
    ASSERT_TRUE(script.waitForFinished(30000));
    EXPECT_EQ(script.readAll(), "receiving\n4.0 0.5 True CV\n");
    EXPECT_EQ(bench.nextCommand(), QByteArray("040 100"));
}

// What a lab that runs Prometheus sees: the page scraped and its values queried.
TEST(Network, APrometheusServerScrapesThePage) {
    if (!QFileInfo("/usr/bin/prometheus").isExecutable())
        GTEST_SKIP() << "Prometheus is not installed: tools/setup installs it";
    const quint16 metrics = FreePort();
    HeadlessBench bench({}, QStringLiteral("[Metrics]\nPort=%1\n").arg(metrics).toUtf8());
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ScpiLine client(bench.port);
    client.send("APPL 5,0.5");
    EXPECT_EQ(bench.nextCommand(), QByteArray("050 100"));
    PrometheusServer prometheus;
    ASSERT_TRUE(prometheus.start(metrics));
    EXPECT_TRUE(WaitUntil([&] { return prometheus.value(R"(up{job="bench"})") == "1"; }, 30s))
        << prometheus.process.readAll().right(2000).toStdString();
    EXPECT_TRUE(WaitUntil(
        [&] { return prometheus.value(R"(velmora_voltage_setpoint_volts{unit="1"})") == "5"; },
        10s));
    EXPECT_EQ(prometheus.value(R"(velmora_remote_clients)"), "1");
}

// Found and opened as any LAN instrument, in a network of the test's own:
// `lxi discover` by broadcast, `lxi scpi` over VXI-11, as the socket answers.
TEST(Network, LxiFindsTheProgramAndAsksItOverVxi11) {
    VELMORA_IN_NETNS_LAB();
    if (!test::HaveProgram("lxi") || !test::HaveProgram("rpcbind"))
        GTEST_SKIP() << "lxi-tools or rpcbind is not installed: tools/setup installs them";
    test::LabDaemons daemons(false);
    ASSERT_TRUE(daemons.problem.isEmpty()) << daemons.problem.toStdString();
    Session bench;
    const quint16 port = FreePort();
    ASSERT_TRUE(
        bench.startProgram({"--headless", "--remote", QStringLiteral("0.0.0.0:%1").arg(port)},
                           "[Remote]\nAllowFrom=10.231.0.0/24\n"));
    ASSERT_TRUE(WaitUntil(
        [] {
            return test::RunCommand("rpcinfo", {"-p", "127.0.0.1"}).contains("395183");
        },
        5s))
        << bench.panelErrors().toStdString();
    const QString identity = "Velmora,1A/20V,COM2," VELMORA_VERSION;
    EXPECT_TRUE(
        test::RunCommand("lxi", {"discover", "-t", "2"})
            .contains(
                QStringLiteral("Found \"%1\" on address %2").arg(identity, test::kLabAddress)));
    for (const QStringList& asked :
         {QStringList{"scpi", "-a", test::kLabAddress, "*IDN?"},
          QStringList{"scpi", "-a", test::kLabAddress, "-p", QString::number(port), "-r", "*IDN?"}})
        EXPECT_EQ(test::RunCommand("lxi", asked).trimmed(), identity)
            << asked.join(' ').toStdString();
    bench.panel().terminate();
    EXPECT_EQ(bench.waitForPanelExit(10s), 0);
    EXPECT_TRUE(WaitUntil(
        [] {
            return !test::RunCommand("rpcinfo", {"-p", "127.0.0.1"}).contains("395183");
        },
        5s))
        << "taken back at the end";
}

TEST(Network, ArgumentsThatCannotBeReadEndTheProgramAtOnce) {
    PanelRun run;
    for (const QStringList& arguments : {QStringList{"--headless", "--mqtt", "host:99999"},
                                         QStringList{"--headless", "--metrics", "nonsense"}}) {
        ASSERT_TRUE(run.startProgram(arguments));
        EXPECT_EQ(run.waitForPanelExit(10s), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.panelErrors().startsWith("velmora: --")) << run.panelErrors().toStdString();
    }
}

} // namespace
} // namespace velmora::e2e
