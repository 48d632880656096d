// Remote control against clients that misbehave: the program keeps
// answering, holds nothing that grows, and the unit gets only whole commands.

#include "remote/remote_server.h"
#include "session/session.h"
#include "support/fake_line.h"
#include "support/wait_until.h"

#include <QDir>
#include <QEventLoop>
#include <QRegularExpression>
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
        session->chooseModel(Model::Large2A5_25V);
        server = std::make_unique<RemoteServer>(*session);
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
    RealClock clock;
    test::FakeLine* line;
    std::unique_ptr<Session> session;
    std::unique_ptr<RemoteServer> server;
    QTimer tick;
    qint64 lastTick = 0;
    qint64 longestGapMs = 0;
};

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

} // namespace
} // namespace velmora
