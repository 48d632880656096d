// VXI-11 on loopback beside the raw socket: one client's *IDN? round trips
// (device_write then device_read, two RPCs, against one line on the socket),
// and what the server costs while links sit idle.

#include "bench_support.h"
#include "remote/remote_server.h"
#include "support/fake_line.h"
#include "support/vxi11_conversation.h"
#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/vxi11_protocol.h"
#include "vxi11/vxi11_server.h"
#include "vxi11/xdr.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

// A blocking client on a plain socket, as a script's is.
class Connection {
  public:
    explicit Connection(quint16 port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~Connection() { ::close(fd_); }
    bool ok() const { return ok_; }
    void send(const QByteArray& bytes) {
        [[maybe_unused]] const ssize_t n = ::write(fd_, bytes.constData(), size_t(bytes.size()));
    }
    // Reads until a line ends.
    QByteArray line() {
        QByteArray text;
        char c = 0;
        while (::read(fd_, &c, 1) == 1 && c != '\n')
            text += c;
        return text;
    }
    // One RPC on the core program: its results.
    QByteArray call(vxi11::Proc proc, const QByteArray& args) {
        const quint32 xid = ++xid_;
        send(vxi11::FrameRecord(
            vxi11::EncodeCall(xid, vxi11::kCoreProgram, 1, quint32(proc), args)));
        char buffer[4096];
        for (;;) {
            if (auto record = records_.next())
                return vxi11::ParseSuccessReply(record->bytes, xid).value_or(QByteArray());
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) return {};
            records_.append(QByteArrayView(buffer, n));
        }
    }

  private:
    int fd_;
    bool ok_ = false;
    quint32 xid_ = 0;
    vxi11::RecordReader records_{1 << 20};
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

// `ask` once per round, 10,000 rounds, timed in a thread of its own while the
// program's event loop runs here.
template <typename Ask> std::vector<double> RoundTrips(Ask ask, double* perSecond) {
    std::vector<double> ms;
    std::atomic<bool> done{false};
    std::thread client([&] {
        const qint64 start = bench::NowNs();
        for (int i = 0; i < 10'000; ++i) {
            const qint64 asked = bench::NowNs();
            if (!ask()) break;
            ms.push_back(double(bench::NowNs() - asked) / 1e6);
        }
        *perSecond = double(ms.size()) / (double(bench::NowNs() - start) / 1e9);
        done = true;
    });
    bench::RunUntil([&] { return done.load(); }, 120'000);
    client.join();
    return ms;
}

// Runs `work` (a blocking client) in a thread while the event loop runs here.
void InThread(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread client([&] {
        work();
        done = true;
    });
    bench::RunUntil([&] { return done.load(); }, 60'000);
    client.join();
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
    SettingsStore remoteStore(dir.filePath(QStringLiteral("remote.conf")));
    RemoteServer remote(session, remoteStore);
    RemoteSettings on;
    on.enabled = true;
    on.port = 0;
    if (!remote.apply(on)) return 1;
    test::ScpiLinks links(session);
    vxi11::Server server(clock, links.factory());
    if (!server.listen(QHostAddress::LocalHost, 0)) return 1;

    double socketRate = 0, vxiRate = 0;
    Connection socket(remote.port());
    const auto socketMs = RoundTrips(
        [&] {
            socket.send("*IDN?\n");
            return socket.line().startsWith("Velmora,");
        },
        &socketRate);

    Connection vxi(server.port());
    vxi11::XdrWriter create;
    create.i32(1).boolean(false).u32(0).opaque("inst0");
    QByteArray link;
    InThread([&] { link = vxi.call(vxi11::Proc::CreateLink, create.bytes()); });
    vxi11::XdrReader made(link);
    made.i32();
    const qint32 lid = made.i32().value_or(0);
    vxi11::XdrWriter write, read;
    write.i32(lid).u32(2000).u32(0).i32(vxi11::flags::kEnd).opaque("*IDN?\n");
    read.i32(lid).u32(1024).u32(2000).u32(0).i32(0).u32(0);
    const auto vxiMs = RoundTrips(
        [&] {
            vxi.call(vxi11::Proc::DeviceWrite, write.bytes());
            return vxi.call(vxi11::Proc::DeviceRead, read.bytes()).contains("Velmora,");
        },
        &vxiRate);
    if (socketMs.size() != 10'000 || vxiMs.size() != 10'000) return 1;
    std::printf("socket *IDN? round trip median/99th: %.3f / %.3f ms, %.0f queries/s\n",
                Percentile(socketMs, 0.5), Percentile(socketMs, 0.99), socketRate);
    std::printf("vxi-11 *IDN? round trip median/99th: %.3f / %.3f ms, %.0f queries/s\n",
                Percentile(vxiMs, 0.5), Percentile(vxiMs, 0.99), vxiRate);

    // Eight links open and idle cost the program nothing measurable.
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 7; ++i) {
        idle.push_back(std::make_unique<Connection>(server.port()));
        InThread([&] { idle.back()->call(vxi11::Proc::CreateLink, create.bytes()); });
    }
    bench::RunFor(500);
    const double before = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = bench::NowNs();
    bench::RunFor(3000);
    std::printf("vxi-11 idle with 8 links: %.2f %% of a core\n",
                100.0 * (test::CpuSeconds(RUSAGE_THREAD) - before) /
                    (double(bench::NowNs() - start) / 1e9));
    return 0;
}
