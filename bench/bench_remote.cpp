// Remote control on loopback: how fast one client's queries come back, what
// eight clients polling cost the program, how soon a remote set-point follows
// the command before it, and that listening idle costs nothing.

#include "bench_support.h"
#include "core/settings_store.h"
#include "remote/remote_server.h"
#include "support/fake_line.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

// A plain blocking client, as a script's socket is.
class Client {
  public:
    explicit Client(quint16 port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~Client() { ::close(fd_); }
    bool ok() const { return ok_; }
    // Sends a line and reads one answer line.
    std::string ask(const char* line) {
        send(line);
        std::string answer;
        char c = 0;
        while (::read(fd_, &c, 1) == 1 && c != '\n')
            answer += c;
        return answer;
    }
    void send(const char* line) {
        const std::string text = std::string(line) + '\n';
        [[maybe_unused]] const ssize_t n = ::write(fd_, text.data(), text.size());
    }

  private:
    int fd_;
    bool ok_ = false;
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

double MainThreadCpu() {
    return test::CpuSeconds(RUSAGE_THREAD);
}

// The main thread's share of a core over `ms` of its event loop.
double LoadOver(int ms) {
    const double before = MainThreadCpu();
    const qint64 start = bench::NowNs();
    bench::RunFor(ms);
    return 100.0 * (MainThreadCpu() - before) / (double(bench::NowNs() - start) / 1e9);
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    RealClock clock;
    auto* line = new test::FakeLine;
    QTemporaryDir dir;
    Session session(clock, std::unique_ptr<SerialLine>(line),
                    SettingsStore(dir.filePath(QStringLiteral("Tarnholm.conf"))));
    session.start();
    // The unit reports ten times a second, so measurements are never stale.
    QTimer frames;
    QObject::connect(&frames, &QTimer::timeout, [&] { line->feed("D 123  045  "); });
    frames.start(100);
    SettingsStore remoteStore(dir.filePath("remote.conf"));
    RemoteServer server(session, remoteStore);
    const double idleOff = LoadOver(3000);
    RemoteSettings on;
    on.enabled = true;
    on.port = 0;
    if (!server.apply(on)) return 1;
    const quint16 port = server.port();
    const double idleOn = LoadOver(3000);
    std::printf("remote control idle: %.2f %% of a core listening, %.2f %% off\n", idleOn, idleOff);

    // 10,000 queries in a row from one client, answered while the loop runs.
    std::vector<double> ms;
    std::atomic<bool> done{false};
    double seconds = 0;
    std::thread one([&] {
        Client client(port);
        if (!client.ok()) return void(done = true);
        const qint64 start = bench::NowNs();
        for (int i = 0; i < 10'000; ++i) {
            const qint64 asked = bench::NowNs();
            if (client.ask("MEAS:VOLT?") != "12.3") break;
            ms.push_back(double(bench::NowNs() - asked) / 1e6);
        }
        seconds = double(bench::NowNs() - start) / 1e9;
        done = true;
    });
    bench::RunUntil([&] { return done.load(); }, 120'000);
    one.join();
    if (ms.size() != 10'000) return 1;
    std::printf("remote MEAS:VOLT? round trip median/99th: %.3f / %.3f ms, %.0f queries/s\n",
                Percentile(ms, 0.5), Percentile(ms, 0.99), double(ms.size()) / seconds);

    // Eight clients polling 100 times a second each.
    std::atomic<bool> polling{true};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&] {
            Client client(port);
            while (polling && client.ok()) {
                client.ask("MEAS:VOLT?");
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    bench::RunFor(500);
    const double polled = LoadOver(10'000);
    polling = false;
    bench::RunUntil([&] { return false; }, 100);
    for (auto& c : clients)
        c.join();
    std::printf("remote 8 clients at 100 queries/s: %.2f %% of a core beyond idle\n",
                std::max(0.0, polled - idleOn));

    // A set-point asked for while a command is on the line follows it at once.
    session.unit().chooseModel(Model::Large2A5_25V);
    std::atomic<bool> asked{false};
    std::thread setter([&] {
        Client client(port);
        client.send("APPL 5,0.5");
        client.send("APPL 6,0.6");
        asked = true;
    });
    bench::RunUntil([&] { return line->writes().size() >= 16; }, 5000);
    setter.join();
    const auto& writes = line->writes();
    if (writes.size() < 16) return 1;
    // The first command has gone once the pause after its eighth character is over.
    const double gap = double(writes[8].atNs - writes[7].atNs) / 1e6 - 10.0;
    std::printf("remote set-point after the command before: %.2f ms after it had gone\n",
                std::max(0.0, gap));
    return 0;
}
