// One client streaming queries as fast as loopback takes them, and what the
// unit's side keeps meanwhile: how soon a trip's zero follows the frame that
// completes it, the pauses of a command on the line, another client's
// answer, and how soon SIGTERM ends the bench with no window.

#include "bench_support.h"
#include "core/settings_store.h"
#include "remote/remote_server.h"
#include "session/protection_store.h"

#include <QProcess>
#include <QSettings>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

using namespace velmora;
using bench::Figures;
using bench::NowNs;

namespace {

int Connect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return -1;
    return fd;
}

// Streams MEAS:VOLT? as fast as the socket takes it, reading what comes
// back, until `stop` or a minute has passed.
std::thread Flood(quint16 port, const std::atomic<bool>& stop) {
    return std::thread([port, &stop] {
        const int fd = Connect(port);
        const QByteArray burst = QByteArray("MEAS:VOLT?\n").repeated(400);
        char sink[65536];
        const qint64 until = NowNs() + 60'000'000'000;
        while (fd >= 0 && !stop && NowNs() < until) {
            ::send(fd, burst.constData(), size_t(burst.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
        if (fd >= 0) ::close(fd);
    });
}

// *IDN? on a connection of its own, answered: the round trip in ms.
double Identify(quint16 port) {
    std::atomic<double> ms{-1};
    std::thread asker([&] {
        const int fd = Connect(port);
        const qint64 from = NowNs();
        ::send(fd, "*IDN?\n", 6, MSG_NOSIGNAL);
        char answer[128];
        if (::recv(fd, answer, sizeof answer, 0) > 0) ms = double(NowNs() - from) / 1e6;
        ::close(fd);
    });
    bench::RunUntil([&] { return ms >= 0; }, 5000);
    asker.join();
    return ms;
}

// SIGTERM to velmora --headless while a client streams: ms until it has ended.
double EndUnderFlood(const QString& config) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    const quint16 port = 45000 + quint16(::getpid() % 10000);
    program.start(QStringLiteral(VELMORA_BIN_DIR "/velmora"),
                  {"--headless", "--remote", QString::number(port)});
    QByteArray said;
    const bool listening = bench::RunUntil(
        [&] {
            said += program.readAll();
            return said.contains("listening on") || program.state() == QProcess::NotRunning;
        },
        5000);
    if (!listening || program.state() == QProcess::NotRunning) {
        std::fprintf(stderr, "%s", said.constData());
        return -1;
    }
    std::atomic<bool> stop{false};
    std::thread flood = Flood(port, stop);
    bench::RunFor(2000);
    const qint64 from = NowNs();
    ::kill(pid_t(program.processId()), SIGTERM);
    program.waitForFinished(10000);
    const double ms = double(NowNs() - from) / 1e6;
    stop = true;
    flood.join();
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const int trips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir dir;
    const QString store = dir.filePath("Tarnholm.conf");
    QSettings(store, QSettings::IniFormat).setValue("Protection/OCP_mA", "400");
    RealClock clock;
    auto* line = new test::FakeLine;
    Session session(clock, std::unique_ptr<SerialLine>(line), SettingsStore(store));
    session.start();
    SettingsStore remoteStore(dir.filePath("remote.conf"));
    RemoteServer server(session, remoteStore);
    RemoteSettings on;
    on.enabled = true;
    on.port = 0;
    if (!server.apply(on)) return 1;

    std::atomic<bool> stop{false};
    std::thread flood = Flood(server.port(), stop);
    bench::RunFor(500);
    Figures toZero, pauses, identify;
    for (int i = 0; i < trips; ++i) {
        session.clearTrip();
        line->clearWrites();
        session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(300)});
        for (int frame = 0; frame < 8; ++frame) {
            line->feed("D 050  030  ");
            bench::RunFor(12);
        }
        const QList<test::FakeLine::Write> command = line->writes();
        for (qsizetype w = 1; w < std::min<qsizetype>(command.size(), 8); ++w)
            pauses.add(double(command[w].atNs - command[w - 1].atNs) / 1e6);
        line->clearWrites();
        line->feed("D 050  045  ");
        bench::RunFor(12);
        line->feed("D 050  045  ");
        bench::RunFor(12);
        const qint64 completed = NowNs();
        line->feed("D 050  045  ");
        if (!bench::RunUntil([&] { return !line->writes().isEmpty(); }, 2000)) return 1;
        toZero.add(double(line->writes().first().atNs - completed) / 1e6);
        identify.add(Identify(server.port()));
        bench::RunUntil([&] { return session.unit().linkIdle(); }, 2000);
    }
    stop = true;
    flood.join();
    std::printf("flood, trip to zero command mean/max: %.2f/%.2f ms\n", toZero.mean(), toZero.max);
    std::printf("flood, character pauses min/mean/max: %.2f/%.2f/%.2f ms\n", pauses.min,
                pauses.mean(), pauses.max);
    std::printf("flood, another client's *IDN? mean/max: %.2f/%.2f ms\n", identify.mean(),
                identify.max);
    std::printf("flood, SIGTERM to the end of the bench with no window: %.0f ms\n",
                EndUnderFlood(dir.filePath("config")));
    return 0;
}
