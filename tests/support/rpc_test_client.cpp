#include "support/rpc_test_client.h"

#include "vxi11/xdr.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace velmora::test {

using namespace vxi11;

// Events are handled as they come, without QTest's 10 ms naps: a thousand
// calls take a thousand round trips, not ten seconds.
bool RpcTestClient::waitFor(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    for (;;) {
        if (turn_) turn_();
        if (done()) return true;
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::usleep(50);
    }
}

bool RpcTestClient::connectTo(quint16 port) {
    socket_.connectToHost(QHostAddress::LocalHost, port);
    return waitFor([this] { return socket_.state() == QAbstractSocket::ConnectedState; }, 3000);
}

void RpcTestClient::sendRaw(const QByteArray& bytes) {
    socket_.write(bytes);
    socket_.flush();
}

quint32 RpcTestClient::send(quint32 program, quint32 version, quint32 procedure,
                            const QByteArray& args) {
    const quint32 xid = ++xid_;
    sendRaw(FrameRecord(EncodeCall(xid, program, version, procedure, args)));
    return xid;
}

std::optional<QByteArray> RpcTestClient::reply(int ms) {
    std::optional<QByteArray> record;
    waitFor(
        [&] {
            records_.append(socket_.readAll());
            if (auto event = records_.next()) record = event->bytes;
            return record.has_value();
        },
        ms);
    return record;
}

std::optional<QByteArray> RpcTestClient::call(Proc proc, const QByteArray& args, int ms) {
    const quint32 xid = send(kCoreProgram, kVersion, quint32(proc), args);
    const auto record = reply(ms);
    if (!record) return std::nullopt;
    return ParseSuccessReply(*record, xid);
}

qint32 RpcTestClient::ErrorOf(const std::optional<QByteArray>& results) {
    if (!results) return -1;
    XdrReader in(*results);
    return in.i32().value_or(-1);
}

bool RpcTestClient::closedByServer(int ms) {
    return waitFor(
        [this] {
            socket_.readAll();
            return socket_.state() == QAbstractSocket::UnconnectedState;
        },
        ms);
}

QByteArray RpcTestClient::CreateLink(bool lock, quint32 lockTimeoutMs, const QByteArray& device) {
    XdrWriter out;
    out.i32(7).boolean(lock).u32(lockTimeoutMs).opaque(device);
    return out.bytes();
}

QByteArray RpcTestClient::Write(qint32 lid, const QByteArray& data, qint32 flags,
                                quint32 ioTimeoutMs, quint32 lockTimeoutMs) {
    XdrWriter out;
    out.i32(lid).u32(ioTimeoutMs).u32(lockTimeoutMs).i32(flags).opaque(data);
    return out.bytes();
}

QByteArray RpcTestClient::Read(qint32 lid, quint32 size, quint32 ioTimeoutMs, qint32 flags,
                               quint32 lockTimeoutMs, char termChar) {
    XdrWriter out;
    out.i32(lid).u32(size).u32(ioTimeoutMs).u32(lockTimeoutMs).i32(flags).u32(quint8(termChar));
    return out.bytes();
}

QByteArray RpcTestClient::Generic(qint32 lid, qint32 flags, quint32 lockTimeoutMs) {
    XdrWriter out;
    out.i32(lid).i32(flags).u32(lockTimeoutMs).u32(1000);
    return out.bytes();
}

QByteArray RpcTestClient::Lock(qint32 lid, qint32 flags, quint32 lockTimeoutMs) {
    XdrWriter out;
    out.i32(lid).i32(flags).u32(lockTimeoutMs);
    return out.bytes();
}

QByteArray RpcTestClient::Link(qint32 lid) {
    XdrWriter out;
    out.i32(lid);
    return out.bytes();
}

qint32 RpcTestClient::createLink() {
    const auto results = call(Proc::CreateLink, CreateLink());
    if (ErrorOf(results) != 0) return -1;
    XdrReader in(*results);
    in.i32();
    return in.i32().value_or(-1);
}

QByteArray RpcTestClient::ask(qint32 lid, const QByteArray& line) {
    if (ErrorOf(call(Proc::DeviceWrite, Write(lid, line))) != 0) return "(write failed)";
    return readAnswer(lid);
}

QByteArray RpcTestClient::readAnswer(qint32 lid, quint32 ioTimeoutMs) {
    QByteArray answer;
    for (int i = 0; i < 64; ++i) {
        const auto results = call(Proc::DeviceRead, Read(lid, 1024, ioTimeoutMs));
        const QByteArray bytes = results.value_or(QByteArray());
        XdrReader in(bytes);
        if (in.i32().value_or(-1) != 0) return answer + "(read failed)";
        const qint32 reasons = in.i32().value_or(0);
        answer += in.opaque(1 << 20).value_or(QByteArray());
        if (reasons & reason::kEnd) break;
    }
    return answer;
}

} // namespace velmora::test
