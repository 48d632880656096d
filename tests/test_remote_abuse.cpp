// Remote control against clients that misbehave: the program keeps
// answering, holds nothing that grows, and the unit gets only whole commands.

#include "remote/remote_server.h"
#include "session/protection_store.h"
#include "session/session.h"
#include "support/fake_line.h"
#include "support/wait_until.h"

#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velmora {
namespace {

// The rules the settings file of a bench holds now.
ProtectionSettings LoadProtectionFor(const struct Bench& b);

int Connect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void Send(int fd, const QByteArray& bytes) {
    [[maybe_unused]] const ssize_t n =
        ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
}

// Runs the event loop as the program does (QTest's waits sleep between
// turns) until `done` holds or `seconds` have passed; whether it holds.
bool RunUntil(const std::function<bool()>& done, int seconds) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    look.start(5);
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    if (!done()) loop.exec();
    return done();
}

qsizetype OpenFiles() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

// A session on a fake line with the real clock, a server on a free loopback
// port, and a watch on how long the event loop ever goes without a turn.
struct Bench {
    Bench() : line(new test::FakeLine) {
        session = std::make_unique<Session>(clock, std::unique_ptr<SerialLine>(line),
                                            SettingsStore(dir.filePath("Tarnholm.conf")));
        session->start();
        session->unit().chooseModel(Model::Large2A5_25V);
        server = std::make_unique<RemoteServer>(*session, remoteStore);
        RemoteSettings settings;
        settings.enabled = true;
        settings.port = 0;
        server->apply(settings);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const qint64 now = clock.monotonicNs();
            if (lastTick) longestGapMs = std::max(longestGapMs, (now - lastTick) / kNsPerMs);
            lastTick = now;
        });
        tick.start(5);
    }
    QTemporaryDir dir;
    SettingsStore remoteStore{dir.filePath("remote.conf")};
    RealClock clock;
    test::FakeLine* line;
    std::unique_ptr<Session> session;
    std::unique_ptr<RemoteServer> server;
    QTimer tick;
    qint64 lastTick = 0;
    qint64 longestGapMs = 0;
};

ProtectionSettings LoadProtectionFor(const Bench& b) {
    return LoadProtection(SettingsStore(b.dir.filePath("Tarnholm.conf")),
                          b.session->unit().limits());
}

TEST(RemoteAbuse, ASlowClientIsAnsweredAndHoldsNobodyUp) {
    Bench b;
    std::atomic<bool> answered{false};
    std::thread slow([&] {
        const int fd = Connect(b.server->port());
        for (const char c : QByteArray("*IDN?\n")) {
            Send(fd, QByteArray(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        char buffer[64] = {};
        answered = ::recv(fd, buffer, sizeof buffer, 0) > 0 &&
                   QByteArray(buffer).startsWith("Velmora,2.5A/25V,COM2,");
        ::close(fd);
    });
    ASSERT_TRUE(RunUntil([&] { return answered.load(); }, 10));
    slow.join();
    EXPECT_LT(b.longestGapMs, 500);
}

TEST(RemoteAbuse, AClientThatNeverReadsIsDisconnected) {
    Bench b;
    const int fd = Connect(b.server->port());
    ASSERT_GE(fd, 0);
    // Answers of a few KiB each, never read: the kernel's buffers fill, then
    // the server's, until 64 KiB wait for the client.
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        while (!stop)
            Send(fd, "SYST:HELP:HEAD?\n");
    });
    const bool dropped = RunUntil(
        [&] { return !b.server->recentLines().isEmpty() && b.server->clients().isEmpty(); }, 60);
    stop = true;
    flood.join();
    ::close(fd);
    EXPECT_TRUE(dropped);
    EXPECT_LT(b.longestGapMs, 1000);
}

TEST(RemoteAbuse, TenThousandConnectionsLeaveNothingBehind) {
    Bench b;
    const qsizetype filesBefore = OpenFiles();
    std::atomic<int> made{0}, failed{0};
    std::thread churn([&] {
        for (int i = 0; i < 10'000; ++i) {
            const int fd = Connect(b.server->port());
            if (fd < 0) {
                ++failed;
                continue;
            }
            // An answer first, as a script's connection has: a client that
            // only connects and closes outruns any server's listen queue.
            Send(fd, i % 2 ? "*IDN?\n" : "SYST:ERR?\n");
            char answer[128];
            [[maybe_unused]] const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
            ::close(fd);
            ++made;
        }
    });
    ASSERT_TRUE(RunUntil([&] { return made + failed == 10'000; }, 120))
        << made << " made, " << failed << " failed";
    EXPECT_EQ(failed, 0);
    churn.join();
    ASSERT_TRUE(test::WaitUntil([&] { return b.server->clients().isEmpty(); }));
    QTest::qWait(100); // sockets let go at the next turns
    EXPECT_LE(OpenFiles(), filesBefore + 2);
    EXPECT_LT(b.longestGapMs, 1000);
}

TEST(RemoteAbuse, EightClientsAtFullSpeedSendOnlyWholeCommands) {
    Bench b;
    std::atomic<bool> stop{false};
    std::atomic<int> finished{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < RemoteServer::kMaxClients; ++c)
        clients.emplace_back([&, c] {
            const int fd = Connect(b.server->port());
            char buffer[4096];
            for (int i = 0; !stop; ++i) {
                Send(fd, QByteArrayLiteral("APPL %1,%2;*OPC?;MEAS:VOLT?\n")
                             .replace("%1", QByteArray::number((c * 7 + i) % 250 / 10.0))
                             .replace("%2", QByteArray::number((i % 200) / 100.0)));
                if (::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
            }
            ::close(fd);
            ++finished;
        });
    RunUntil([] { return false; }, 2);
    stop = true;
    // Their last answers need the event loop: joined only once they are out.
    EXPECT_TRUE(RunUntil([&] { return finished == RemoteServer::kMaxClients; }, 30));
    for (auto& client : clients)
        client.join();
    RunUntil([] { return false; }, 1);
    const QByteArray sent = b.line->written();
    ASSERT_GT(sent.size(), 8);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^([0-9]{3}\r[0-9]{3}\r)+$"))
                    .match(QString::fromLatin1(sent))
                    .hasMatch())
        << sent.left(80).toStdString();
    EXPECT_LT(b.longestGapMs, 500);
}

// One client streaming queries as fast as its socket takes them: the unit's
// frames are still read, a trip still zeroes the output within a frame's
// time, the pauses stay 10 ms, another client is answered, and what piles up
// stays with the client that sends it.
TEST(RemoteAbuse, AStreamOfQueriesLeavesTheUnitsLineAndTripsAlone) {
    Bench b;
    {
        QSettings store(b.dir.filePath("Tarnholm.conf"), QSettings::IniFormat);
        store.setValue("Protection/OCP_mA", "400");
    }
    b.session->setProtection(LoadProtectionFor(b));
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const int fd = Connect(b.server->port());
        const QByteArray burst = QByteArray("MEAS:VOLT?\n").repeated(400);
        char sink[65536];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop && std::chrono::steady_clock::now() < until) {
            ::send(fd, burst.constData(), size_t(burst.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
        ::close(fd);
    });
    // Frames at the unit's full rate meanwhile; the current above 0.40 A
    // from the 40th on, with a command going out as they come.
    int frames = 0;
    qint64 completedAtNs = 0;
    QTimer unit;
    QObject::connect(&unit, &QTimer::timeout, [&] {
        ++frames;
        if (frames == 20)
            b.session->unit().request(SetpointSource::SetValues,
                                      {Millivolts(5000), Milliamps(500)});
        b.line->feed(frames < 40 ? "D 050  030  " : "D 050  045  ");
        if (frames == 42) completedAtNs = b.clock.monotonicNs();
    });
    unit.start(12);
    const bool tripped = RunUntil([&] { return b.session->tripped(); }, 10);
    unit.stop();
    ASSERT_TRUE(tripped);
    ASSERT_TRUE(RunUntil([&] { return b.session->unit().linkIdle(); }, 5));
    // Another client is answered while the stream goes on.
    const int other = Connect(b.server->port());
    const qint64 askedNs = b.clock.monotonicNs();
    Send(other, "*IDN?\n");
    std::atomic<bool> answered{false};
    std::thread reader([&] {
        char answer[128] = {};
        answered = ::recv(other, answer, sizeof answer, 0) > 0;
    });
    ASSERT_TRUE(RunUntil([&] { return answered.load(); }, 10));
    const qint64 answeredMs = (b.clock.monotonicNs() - askedNs) / kNsPerMs;
    reader.join();
    ::close(other);
    stop = true;
    flood.join();

    const QList<test::FakeLine::Write>& writes = b.line->writes();
    const QByteArray written = b.line->written();
    const qsizetype command = written.indexOf("050\r050\r");
    ASSERT_GE(command, 0) << written.toStdString();
    EXPECT_EQ(written.right(8), "000\r000\r");
    // The zero's first character within a frame's time of the completing frame.
    const qint64 zeroAtNs = writes[writes.size() - 8].atNs;
    EXPECT_LT((zeroAtNs - completedAtNs) / kNsPerMs, 100) << "generous: a busy machine";
    for (qsizetype i = command + 1; i < command + 8; ++i) {
        const qint64 gapMs = (writes[i].atNs - writes[i - 1].atNs) / kNsPerMs;
        EXPECT_GE(gapMs, 10);
        EXPECT_LT(gapMs, 100) << "a pause of the command on the line, " << i;
    }
    EXPECT_LT(answeredMs, 1000);
    EXPECT_LT(b.longestGapMs, 500);
}

// A client that closes its sending side after its line still gets what it
// asked for; and "::" listens for IPv4 clients as well.
TEST(RemoteAbuse, AClientThatClosesItsSendingSideIsAnswered) {
    Bench b;
    RemoteSettings settings;
    settings.enabled = true;
    settings.address = ParseListenPlace(QStringLiteral("[::]:5025"))->first;
    settings.port = 0;
    ASSERT_TRUE(b.server->apply(settings));
    const int fd = Connect(b.server->port()); // on 127.0.0.1
    ASSERT_GE(fd, 0);
    Send(fd, "APPL 3,0.1;*OPC?\n");
    ::shutdown(fd, SHUT_WR);
    QByteArray answer;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char buffer[64];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, n);
        done = true;
    });
    ASSERT_TRUE(RunUntil([&] { return done.load(); }, 10));
    reader.join();
    ::close(fd);
    EXPECT_EQ(answer, "1\n");
    EXPECT_TRUE(b.line->written().endsWith("030\r010\r")) << b.line->written().toStdString();
    EXPECT_TRUE(RunUntil([&] { return b.server->clients().isEmpty(); }, 5));
}

} // namespace
} // namespace velmora
