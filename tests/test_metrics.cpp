// The Prometheus page: its text byte for byte, the HTTP answers, and the
// server against scrapes, promtool, and clients that misbehave.

#include "metrics/metrics_server.h"
#include "metrics/metrics_text.h"
#include "support/fake_bench_feed.h"
#include "support/fake_clock.h"
#include "support/print_qt.h"
#include "support/wait_until.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

MetricsSnapshot TwoUnits() {
    test::FakeBenchFeed feed(2);
    UnitState& one = feed.units[0].state;
    one.chargeAh = 0.5;
    one.energyWh = 2.5;
    one.framesReceived = 4800;
    one.framesUnreadable = 3;
    one.commandsSent = 12;
    feed.units[1].name = QStringLiteral("Bench \"B\" \\ 2");
    feed.units[1].model = QStringLiteral("2,5A/25V");
    feed.units[1].state = UnitState();
    feed.units[1].state.link = QStringLiteral("waiting");
    feed.units[1].state.tripped = true;
    return SnapshotOf(feed, 12.5, 2);
}

TEST(MetricsText, TheWholePage) {
    const QByteArray expected = R"(# HELP velmora_unit_info The unit's name and model.
# TYPE velmora_unit_info gauge
velmora_unit_info{unit="1",name="Unit 1",model="1A/20V"} 1
velmora_unit_info{unit="2",name="Bench \"B\" \\ 2",model="2,5A/25V"} 1
# HELP velmora_voltage_volts The measured voltage.
# TYPE velmora_voltage_volts gauge
velmora_voltage_volts{unit="1"} 5
# HELP velmora_current_amperes The measured current.
# TYPE velmora_current_amperes gauge
velmora_current_amperes{unit="1"} 0.5
# HELP velmora_power_watts The measured voltage times current.
# TYPE velmora_power_watts gauge
velmora_power_watts{unit="1"} 2.5
# HELP velmora_voltage_setpoint_volts The voltage set-point in force.
# TYPE velmora_voltage_setpoint_volts gauge
velmora_voltage_setpoint_volts{unit="1"} 5
velmora_voltage_setpoint_volts{unit="2"} 0
# HELP velmora_current_setpoint_amperes The current set-point in force.
# TYPE velmora_current_setpoint_amperes gauge
velmora_current_setpoint_amperes{unit="1"} 0.5
velmora_current_setpoint_amperes{unit="2"} 0
# HELP velmora_charge_coulombs_total The charge delivered since the meters were reset (3600 C = 1 Ah).
# TYPE velmora_charge_coulombs_total counter
velmora_charge_coulombs_total{unit="1"} 1800
velmora_charge_coulombs_total{unit="2"} 0
# HELP velmora_energy_joules_total The energy delivered since the meters were reset (3600 J = 1 Wh).
# TYPE velmora_energy_joules_total counter
velmora_energy_joules_total{unit="1"} 9000
velmora_energy_joules_total{unit="2"} 0
# HELP velmora_tripped 1 while a protection trip holds the output at zero.
# TYPE velmora_tripped gauge
velmora_tripped{unit="1"} 0
velmora_tripped{unit="2"} 1
# HELP velmora_link_state 1 for the state the unit's link is in.
# TYPE velmora_link_state gauge
velmora_link_state{unit="1",state="receiving"} 1
velmora_link_state{unit="1",state="silent"} 0
velmora_link_state{unit="1",state="waiting"} 0
velmora_link_state{unit="1",state="closed"} 0
velmora_link_state{unit="2",state="receiving"} 0
velmora_link_state{unit="2",state="silent"} 0
velmora_link_state{unit="2",state="waiting"} 1
velmora_link_state{unit="2",state="closed"} 0
# HELP velmora_frames_received_total Frames received from the unit.
# TYPE velmora_frames_received_total counter
velmora_frames_received_total{unit="1"} 4800
velmora_frames_received_total{unit="2"} 0
# HELP velmora_frames_unreadable_total Frames received whose values could not be read.
# TYPE velmora_frames_unreadable_total counter
velmora_frames_unreadable_total{unit="1"} 3
velmora_frames_unreadable_total{unit="2"} 0
# HELP velmora_commands_sent_total Set-point commands sent to the unit.
# TYPE velmora_commands_sent_total counter
velmora_commands_sent_total{unit="1"} 12
velmora_commands_sent_total{unit="2"} 0
# HELP velmora_uptime_seconds Seconds since the program started.
# TYPE velmora_uptime_seconds gauge
velmora_uptime_seconds 12.5
# HELP velmora_remote_clients Remote control clients connected.
# TYPE velmora_remote_clients gauge
velmora_remote_clients 2
)";
    EXPECT_EQ(MetricsText(TwoUnits()), expected);
}

TEST(MetricsText, NumbersLabelsAndOddLinks) {
    struct Number {
        double value;
        const char* text;
    };
    for (const Number& n : std::initializer_list<Number>{{5, "5"},
                                                         {0.1 + 0.2, "0.30000000000000004"},
                                                         {12.3 * 1.23, "15.129000000000001"},
                                                         {1e21, "1e+21"},
                                                         {-0.5, "-0.5"},
                                                         {std::nan(""), "NaN"},
                                                         {HUGE_VAL, "+Inf"},
                                                         {-HUGE_VAL, "-Inf"}})
        EXPECT_EQ(PrometheusNumber(n.value), QByteArray(n.text)) << n.text;
    EXPECT_EQ(LabelValue(QStringLiteral("a\"b\\c\nd µ")), QByteArray("a\\\"b\\\\c\\nd \xc2\xb5"));

    MetricsSnapshot s;
    s.units.append({1, QStringLiteral("U"), QString(), UnitState()});
    s.units[0].state.link = QStringLiteral("cannot open: permission denied");
    const QByteArray text = MetricsText(s);
    EXPECT_TRUE(text.contains(
        "velmora_link_state{unit=\"1\",state=\"cannot open: permission denied\"} 1\n"));
    EXPECT_FALSE(text.contains("velmora_voltage_volts")) << "nothing measured: no sample";
}

TEST(MetricsText, HttpAnswers) {
    struct Case {
        const char* head;
        const char* status;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"GET /metrics HTTP/1.1\r\nHost: lab:9464\r\nAccept: */*", "200 OK"},
             {"GET /metrics HTTP/1.0", "200 OK"},
             {"GET /metrics?name[]=x HTTP/1.1", "200 OK"},
             {"GET / HTTP/1.1", "404 Not Found"},
             {"GET /metrics/ HTTP/1.1", "404 Not Found"},
             {"GET /metricsx HTTP/1.1", "404 Not Found"},
             {"POST /metrics HTTP/1.1", "404 Not Found"},
             {"HEAD /metrics HTTP/1.1", "404 Not Found"},
             {"PUT /metrics HTTP/1.1", "404 Not Found"},
             {"GET /metrics", "400 Bad Request"},
             {"GET metrics HTTP/1.1", "400 Bad Request"},
             {"GET /metrics SPDY/3", "400 Bad Request"},
             {"\x16\x03\x01\x02\x00", "400 Bad Request"},
             {"", "400 Bad Request"}}) {
        int pages = 0;
        const QByteArray answer = HttpAnswer(c.head, [&] {
            ++pages;
            return QByteArray("page\n");
        });
        EXPECT_TRUE(answer.startsWith(QByteArray("HTTP/1.1 ") + c.status + "\r\n")) << c.head;
        EXPECT_EQ(pages, QByteArray(c.status) == "200 OK" ? 1 : 0) << c.head;
    }
    EXPECT_EQ(HttpAnswer("GET /metrics HTTP/1.1", [] { return QByteArray("page\n"); }),
              QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; "
                         "charset=utf-8\r\nContent-Length: 5\r\nConnection: close\r\n\r\npage\n"));
}

// A server on a free loopback port over two units, with a clock the test moves.
struct Page {
    Page() : server(clock, [] { return TwoUnits(); }) {
        for (quint16 port = 20000 + quint16(::getpid() % 20000); !server.listening(); ++port)
            server.apply(MetricsSettings{QHostAddress(QHostAddress::LocalHost), port});
    }
    // Connects, sends `request` and reads until the server closes; what came back.
    QByteArray ask(const QByteArray& request) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        if (!WaitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
            return {};
        socket.write(request);
        QByteArray answer;
        WaitUntil(
            [&] {
                answer += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            10s);
        return answer + socket.readAll();
    }
    test::FakeClock clock;
    MetricsServer server;
};

TEST(MetricsServer, AScrapeThatPromtoolTakes) {
    Page page;
    const QByteArray answer = page.ask("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    ASSERT_TRUE(answer.startsWith("HTTP/1.1 200 OK\r\n")) << answer.left(200).data();
    const QByteArray body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    EXPECT_EQ(body, MetricsText(TwoUnits()));
    EXPECT_EQ(page.server.scrapes(), 1u);
    EXPECT_TRUE(page.ask("GET /favicon.ico HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404 "));
    EXPECT_TRUE(page.ask("DELETE /metrics HTTP/1.1\n\n").startsWith("HTTP/1.1 404 "));

    if (!QFileInfo(QStringLiteral("/usr/bin/promtool")).isExecutable())
        GTEST_SKIP() << "promtool is missing: tools/setup installs the prometheus package";
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    promtool.write(body);
    promtool.closeWriteChannel();
    ASSERT_TRUE(promtool.waitForFinished(30'000));
    EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAllStandardError().toStdString()
                                      << promtool.readAllStandardOutput().toStdString();
}

TEST(MetricsServer, AMegabyteRequestAndASlowClient) {
    Page page;
    const QByteArray huge =
        "GET /metrics HTTP/1.1\r\nX-Padding: " + QByteArray(1 << 20, 'a') + "\r\n\r\n";
    const QByteArray answer = page.ask(huge);
    EXPECT_TRUE(answer.isEmpty() || answer.startsWith("HTTP/1.1 431 ")) << answer.left(100).data();
    EXPECT_TRUE(WaitUntil([&] { return page.server.connections() == 0; }));

    // A client that sends half a line and nothing more is closed after 5 s.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, page.server.port());
    ASSERT_TRUE(WaitUntil([&] { return page.server.connections() == 1; }));
    slow.write("GE");
    QTest::qWait(50);
    page.clock.advance(MetricsServer::kConnectionMs * kNsPerMs - kNsPerMs);
    EXPECT_EQ(page.server.connections(), 1);
    page.clock.advance(kNsPerMs);
    EXPECT_EQ(page.server.connections(), 0);
    EXPECT_TRUE(WaitUntil([&] { return slow.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(page.ask("GET /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"));
}

TEST(MetricsServer, AConnectionStormIsCutAndTheLoopKeepsGoing) {
    Page page;
    QElapsedTimer since;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, since.restart()); });
    since.start();
    tick.start(10);
    std::vector<std::unique_ptr<QTcpSocket>> storm;
    for (int i = 0; i < 200; ++i) {
        storm.push_back(std::make_unique<QTcpSocket>());
        storm.back()->connectToHost(QHostAddress::LocalHost, page.server.port());
    }
    // What the kernel's queue of 50 takes in is kept or closed at once; the
    // rest of the 200 never reach the program.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return page.server.connections() == MetricsServer::kMaxConnections &&
                   page.server.closed() >= 50 - MetricsServer::kMaxConnections;
        },
        10s))
        << page.server.connections() << " " << page.server.closed();
    QTest::qWait(200);
    EXPECT_EQ(page.server.connections(), MetricsServer::kMaxConnections);
    EXPECT_LT(longest, 300) << "the event loop was held up";
    page.clock.advance(MetricsServer::kConnectionMs * kNsPerMs);
    EXPECT_EQ(page.server.connections(), 0);
    EXPECT_TRUE(page.ask("GET /metrics HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"));
}

} // namespace
} // namespace velmora
