// VXI-11 and the announcements against the real tools and daemons, each run
// inside a network namespace of its own (with its own rpcbind, D-Bus and
// Avahi): pyvisa's TCPIP::127.0.0.1::INSTR and `lxi scpi` answer as the raw
// socket does, `lxi discover` finds the program by broadcast and `lxi
// discover -m` by mDNS; without the daemons the program says so once.

#include "announce/announcer.h"
#include "remote/remote_server.h"
#include "support/netns_lab.h"
#include "session/unit_set.h"
#include "support/session_on_fake_line.h"
#include "support/vxi11_conversation.h"
#include "support/wait_until.h"
#include "vxi11/lan_presence.h"
#include "vxi11/rpcbind_registration.h"
#include "vxi11/vxi11_server.h"

#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

// Every command of the README's list (SYST:HELP:HEAD? aside: its block holds
// line ends, which a socket reader cuts), in an order that leaves each one
// something to answer.
const char* const kCommands[] = {"*IDN?",
                                 "*ESE 16",
                                 "*ESE?",
                                 "*SRE 32",
                                 "*SRE?",
                                 "*STB?",
                                 "*OPC",
                                 "*ESR?",
                                 "*TST?",
                                 "SYST:ERR?",
                                 "SYST:VERS?",
                                 "SYST:WDOG 0",
                                 "SYST:WDOG?",
                                 "SYST:LINK?",
                                 "VOLT 5",
                                 "VOLT?",
                                 "CURR 0.5",
                                 "CURR?",
                                 "VOLT:LIM 20",
                                 "VOLT:LIM?",
                                 "CURR:LIM OFF",
                                 "CURR:LIM?",
                                 "APPL 6,0.6",
                                 "APPL?",
                                 "OUTP OFF",
                                 "OUTP?",
                                 "OUTP ON",
                                 "OUTP:MODE?",
                                 "OUTP:PROT:TRIP?",
                                 "OUTP:PROT:CLE",
                                 "OUTP:TIM 300",
                                 "OUTP:TIM?",
                                 "OUTP:TIM 0",
                                 "MEAS:VOLT?",
                                 "MEAS:CURR?",
                                 "MEAS:POW?",
                                 "FETC:VOLT?",
                                 "FETC:CURR?",
                                 "FETC:POW?",
                                 "FETC:AHO?",
                                 "FETC:WHO?",
                                 "FETC:TIME?",
                                 "FETC:VOLT:MIN?",
                                 "FETC:VOLT:MAX?",
                                 "FETC:VOLT:MEAN?",
                                 "FETC:CURR:MIN?",
                                 "FETC:CURR:MAX?",
                                 "FETC:CURR:MEAN?",
                                 "FETC:POW:MIN?",
                                 "FETC:POW:MAX?",
                                 "FETC:POW:MEAN?",
                                 "SENS:AHO:RES",
                                 "REC:FILE \"bench.log\"",
                                 "REC:FILE?",
                                 "REC:STAT?",
                                 "PROG:FILE \"run.dat\"",
                                 "PROG:FILE?",
                                 "PROG:STAT?",
                                 "PROG:PROG?",
                                 "NOSUCH",
                                 "SYST:ERR?",
                                 "*CLS",
                                 "*RST",
                                 "SYST:ERR?"};

// Each command through both resources, one line each: command, socket's
// answer, INSTR's answer, separated by TAB; a command without '?' is followed
// by *OPC? on both.
const char* const kPyvisaScript = R"(
import sys, pyvisa
rm = pyvisa.ResourceManager("@py")
sock = rm.open_resource("TCPIP::127.0.0.1::%s::SOCKET" % sys.argv[1],
                        read_termination="\n", write_termination="\n", timeout=5000)
instr = rm.open_resource("TCPIP::127.0.0.1::INSTR", read_termination="\n",
                         write_termination="\n", timeout=5000)
sock.encoding = instr.encoding = "utf-8"
for command in sys.argv[2:]:
    if "?" in command:
        answers = [r.query(command) for r in (sock, instr)]
    else:
        for r in (sock, instr):
            r.write(command)
        answers = [r.query("*OPC?") for r in (sock, instr)]
    print("%s\t%s\t%s" % (command, answers[0], answers[1]), flush=True)
instr.close()
sock.close()
)";

// A session with remote control on every interface: the raw socket and
// VXI-11, registered with the lab's rpcbind and announced, the lab's own
// network allowed; the unit reports as the tools ask.
class Bench {
  public:
    Bench() {
        RemoteSettings settings;
        settings.enabled = true;
        settings.address = QHostAddress::Any;
        settings.port = 0;
        settings.allowed = *ParseAllowFrom(QStringLiteral("10.231.0.0/24"));
        remote.apply(settings);
        s.feedFrame("123", "045");
    }
    vxi11::Server& server() { return remote.lan().server(); }
    vxi11::RpcbindRegistration& registration() { return remote.lan().registration(); }
    // Runs a tool while the unit's time goes on and its frames come.
    QString run(const QString& program, const QStringList& arguments, int* code) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::SeparateChannels);
        tool.start(program, arguments);
        int turns = 0;
        WaitUntil(
            [&] {
                s.clock.advanceMs(5);
                if (++turns % 100 == 0) s.feedFrame("123", "045");
                return tool.state() == QProcess::NotRunning;
            },
            90s);
        if (tool.state() != QProcess::NotRunning) tool.kill(), tool.waitForFinished(1000);
        *code = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        return QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
    }

    SessionOnFakeLine s{QStringList{QStringLiteral("Netzteil/NLI=2500")}};
    SettingsStore remoteStore{s.storePath()};
    OneUnit units{*s.session};
    RealClock clock;
    RemoteServer remote{units, clock, remoteStore};
};

bool HaveTools(const QStringList& programs, QString* missing) {
    for (const QString& p : programs)
        if (!HaveProgram(p)) missing->append(p + ' ');
    return missing->isEmpty();
}

TEST(Vxi11Daemons, PyvisaAndLxiGetTheSocketsAnswersThroughRpcbind) {
    VELMORA_IN_NETNS_LAB();
    QString missing;
    if (!HaveTools({"rpcbind", "rpcinfo", "/usr/bin/python3", "lxi"}, &missing))
        GTEST_SKIP() << "not installed: " << missing.toStdString();
    LabDaemons daemons(false);
    ASSERT_TRUE(daemons.problem.isEmpty()) << daemons.problem.toStdString();
    Bench bench;
    ASSERT_TRUE(WaitUntil([&] { return bench.registration().registered(); }));
    int code = 0;
    const QString portText = QString::number(bench.server().port());
    EXPECT_TRUE(RunCommand("rpcinfo", {"-p", "127.0.0.1"})
                    .contains(QRegularExpression("395183\\s+1\\s+tcp\\s+" + portText)));

    QTemporaryDir dir;
    QFile script(dir.filePath("both.py"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(kPyvisaScript);
    script.close();
    QStringList arguments{script.fileName(), QString::number(bench.remote.port())};
    for (const char* command : kCommands)
        arguments.append(command);
    const QString out = bench.run("/usr/bin/python3", arguments, &code); // Debian's, with pyvisa
    ASSERT_EQ(code, 0) << out.toStdString();
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), qsizetype(std::size(kCommands))) << out.toStdString();
    for (const QString& line : lines) {
        const QStringList parts = line.split('\t');
        ASSERT_EQ(parts.size(), 3) << line.toStdString();
        EXPECT_EQ(parts[2], parts[1]) << parts[0].toStdString();
    }

    const QString idn = bench.run("lxi", {"scpi", "-a", "127.0.0.1", "*IDN?"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(idn.contains("Velmora,2.5A/25V,COM2,0.1")) << idn.toStdString();

    // Taken back on stop, and by a registration that goes with the program.
    bench.registration().unset();
    ASSERT_TRUE(WaitUntil([&] { return !bench.registration().registered(); }));
    EXPECT_FALSE(RunCommand("rpcinfo", {"-p", "127.0.0.1"}).contains("395183"));
    {
        vxi11::RpcbindRegistration ending(bench.clock);
        ending.set(QHostAddress::Any, bench.server().port());
        ASSERT_TRUE(WaitUntil([&] { return ending.registered(); }));
    }
    EXPECT_TRUE(WaitUntil([] {
        return !RunCommand("rpcinfo", {"-p", "127.0.0.1"}).contains("395183");
    }));
}

TEST(Vxi11Daemons, LxiDiscoverFindsTheProgramByBroadcast) {
    VELMORA_IN_NETNS_LAB();
    QString missing;
    if (!HaveTools({"rpcbind", "lxi"}, &missing))
        GTEST_SKIP() << "not installed: " << missing.toStdString();
    LabDaemons daemons(false);
    ASSERT_TRUE(daemons.problem.isEmpty()) << daemons.problem.toStdString();
    Bench bench;
    ASSERT_TRUE(WaitUntil([&] { return bench.registration().registered(); }));
    int code = 0;
    const QString found = bench.run("lxi", {"discover", "-t", "2"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(found.contains(
        QStringLiteral("Found \"Velmora,2.5A/25V,COM2,0.1\" on address %1").arg(kLabAddress)))
        << found.toStdString();
}

TEST(Vxi11Daemons, AnnouncedByAvahiWhileAskedAndWithdrawn) {
    VELMORA_IN_NETNS_LAB();
    QString missing;
    if (!HaveTools({"rpcbind", "dbus-daemon", "avahi-daemon", "avahi-browse", "lxi"}, &missing))
        GTEST_SKIP() << "not installed: " << missing.toStdString();
    LabDaemons daemons(true);
    ASSERT_TRUE(daemons.problem.isEmpty()) << daemons.problem.toStdString();
    Bench bench;
    Announcer& announcer = bench.remote.lan().announcer();
    const QString name = DefaultServiceName(QHostInfo::localHostName());
    ASSERT_TRUE(WaitUntil([&] { return announcer.established(); }, 10s));
    int code = 0;
    const QString browsed = bench.run("avahi-browse", {"-rpt", "_scpi-raw._tcp"}, &code);
    EXPECT_TRUE(browsed.contains(QStringLiteral("%1;%2;\"version=0.1\" \"model=2,5A/25V\" "
                                                "\"manufacturer=Velmora\"")
                                     .arg(kLabAddress)
                                     .arg(bench.remote.port())))
        << browsed.toStdString();
    const QString found = bench.run("lxi", {"discover", "-m", "-t", "3"}, &code);
    EXPECT_TRUE(found.contains(QStringLiteral("Found \"%1\" on address %2").arg(name, kLabAddress)))
        << found.toStdString();
    EXPECT_TRUE(found.contains("vxi-11 service on port 111")) << found.toStdString();
    EXPECT_TRUE(
        found.contains(QStringLiteral("scpi-raw service on port %1").arg(bench.remote.port())));

    bench.remote.stop();
    EXPECT_FALSE(announcer.established());
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !RunCommand("avahi-browse", {"-rpt", "_scpi-raw._tcp"}).contains("Velmora");
        },
        10s));
    EXPECT_TRUE(bench.remote.lanProblems().isEmpty());
}

TEST(Vxi11Daemons, ThePresenceFollowsRemoteControl) {
    VELMORA_IN_NETNS_LAB();
    QString missing;
    if (!HaveTools({"rpcbind", "rpcinfo", "dbus-daemon", "avahi-daemon", "avahi-browse"}, &missing))
        GTEST_SKIP() << "not installed: " << missing.toStdString();
    LabDaemons daemons(true);
    ASSERT_TRUE(daemons.problem.isEmpty()) << daemons.problem.toStdString();
    SessionOnFakeLine s;
    ScpiLinks links(*s.session);
    RealClock clock;
    vxi11::LanPresence presence(clock, links.factory());
    QSignalSpy problems(&presence, &vxi11::LanPresence::problem);
    const auto registered = [] {
        return RunCommand("rpcinfo", {"-p", "127.0.0.1"}).contains("395183");
    };
    const auto announced = [] {
        return RunCommand("avahi-browse", {"-rpt", "_vxi-11._tcp"}).contains("Velmora");
    };
    struct Step {
        const char* name;
        std::function<void()> act;
        bool vxi11, registered, announced;
    } steps[] = {
        {"on loopback: VXI-11, not announced",
         [&] {
             presence.listening(QHostAddress::LocalHost, 5025, {true, {}, "0.1", "Velmora (lab)"});
         },
         true, true, false},
        {"on every interface: announced",
         [&] {
             presence.listening(QHostAddress::Any, 5025, {true, {}, "0.1", "Velmora (lab)"});
         },
         true, true, true},
        {"VXI11=false: neither",
         [&] {
             presence.listening(QHostAddress::Any, 5025, {false, {}, "0.1", "Velmora (lab)"});
         },
         false, false, false},
        {"VXI11 again",
         [&] {
             presence.listening(QHostAddress::Any, 5025, {true, {}, "0.1", "Velmora (lab)"});
         },
         true, true, true},
        {"stopped", [&] { presence.stopped(); }, false, false, false},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(presence.server().listening(), step.vxi11) << step.name;
        EXPECT_TRUE(WaitUntil([&] { return registered() == step.registered; }, 5s)) << step.name;
        EXPECT_TRUE(WaitUntil([&] { return announced() == step.announced; }, 10s)) << step.name;
    }
    EXPECT_EQ(problems.count(), 0)
        << (problems.isEmpty() ? "" : qPrintable(problems.first().first().toString()));
}

// Neither needs a lab: nothing is there to reach.
TEST(Vxi11Daemons, WithoutRpcbindOrAvahiItSaysSoOnce) {
    RealClock clock;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 nobody = closed.serverPort();
    closed.close();
    vxi11::RpcbindRegistration registration(clock);
    registration.setPlaces(QDir::temp().filePath("no-rpcbind-here.sock"), nobody);
    QSignalSpy said(&registration, &vxi11::RpcbindRegistration::unavailable);
    registration.set(QHostAddress::Any, 5025);
    ASSERT_TRUE(WaitUntil([&] { return said.count() == 1; }));
    EXPECT_TRUE(said.first().first().toString().startsWith("rpcbind is not reachable"));
    registration.set(QHostAddress::Any, 5026);
    WaitUntil([] { return false; }, 300ms);
    EXPECT_EQ(said.count(), 1) << "said once";
    EXPECT_FALSE(registration.registered());

    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velmora-test-bus");
    Announcer announcer(clock);
    QSignalSpy avahiSaid(&announcer, &Announcer::unavailable);
    announcer.announce({"Velmora (x)", 5025, true, {}, "0.1"});
    announcer.announce({"Velmora (y)", 5025, true, {}, "0.1"});
    qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    EXPECT_EQ(avahiSaid.count(), 1);
    EXPECT_FALSE(announcer.established());
}

TEST(Announcement, TheVxi11Setting) {
    struct Row {
        const char* text;
        bool on;
        bool problem;
    } rows[] = {{"", true, false},
                {"true", true, false},
                {"false", false, false},
                {"no", true, true},
                {"1", true, true}};
    for (const Row& row : rows) {
        QString problem;
        EXPECT_EQ(vxi11::ReadVxi11Setting(row.text, &problem), row.on) << row.text;
        EXPECT_EQ(!problem.isEmpty(), row.problem) << row.text;
    }
}

TEST(Announcement, TextsAndWhenToAnnounce) {
    EXPECT_EQ(AnnouncementTxt({"n", 5025, true, {"1A/20V"}, "0.1"}),
              (QByteArrayList{"manufacturer=Velmora", "model=1A/20V", "version=0.1"}));
    EXPECT_EQ(AnnouncementTxt({"n", 5025, true, {"1A/20V", "2,5A/25V"}, "0.2"}),
              (QByteArrayList{"manufacturer=Velmora", "model=1A/20V; 2,5A/25V", "version=0.2"}));
    EXPECT_EQ(AnnouncementTxt({"n", 5025, false, {}, "0.1"}),
              (QByteArrayList{"manufacturer=Velmora", "version=0.1"}));
    struct Row {
        QHostAddress address;
        bool announced;
    } rows[] = {{QHostAddress(QHostAddress::LocalHost), false},
                {QHostAddress(QHostAddress::LocalHostIPv6), false},
                {QHostAddress("127.0.0.2"), false},
                {QHostAddress(QHostAddress::Any), true},
                {QHostAddress("192.168.1.20"), true}};
    for (const Row& row : rows)
        EXPECT_EQ(ShouldAnnounce(row.address), row.announced)
            << row.address.toString().toStdString();
    EXPECT_EQ(DefaultServiceName("bench-pc"), "Velmora (bench-pc)");
    EXPECT_LE(DefaultServiceName(QString(100, 'h')).toUtf8().size(), 63);
}

} // namespace
