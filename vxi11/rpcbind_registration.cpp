#include "vxi11/rpcbind_registration.h"

#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/rpcbind_messages.h"
#include "vxi11/vxi11_protocol.h"

#include <QLocalSocket>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmora::vxi11 {

namespace {

// Sends one framed call on a fresh socket and leaves at once: for the end of
// the program, when nothing can wait for the answer. The connection and the
// write are bounded by a short send time limit.
bool SendAndLeave(int family, const sockaddr* to, socklen_t size, const QByteArray& record) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const timeval limit{0, 200'000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const bool sent = ::connect(fd, to, size) == 0 &&
                      ::send(fd, record.constData(), size_t(record.size()), MSG_NOSIGNAL) ==
                          ssize_t(record.size());
    ::close(fd);
    return sent;
}

} // namespace

RpcbindRegistration::RpcbindRegistration(Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock),
      timeLimit_(clock, [this] { exchangeFailed(QStringLiteral("it did not answer")); }) {}

RpcbindRegistration::~RpcbindRegistration() {
    closeDevice();
    if (!registered_) return;
    const QByteArray unsetLocal =
        FrameRecord(EncodeCall(++xid_, kRpcbindProgram, kRpcbindVersion, kProcUnset,
                               RpcbArgs(kCoreProgram, kVersion, {}, {})));
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    const QByteArray path = localSocket_.toLocal8Bit();
    if (path.size() < qsizetype(sizeof local.sun_path)) {
        std::copy(path.begin(), path.end(), local.sun_path);
        if (SendAndLeave(AF_UNIX, reinterpret_cast<sockaddr*>(&local), sizeof local, unsetLocal))
            return;
    }
    sockaddr_in tcp{};
    tcp.sin_family = AF_INET;
    tcp.sin_port = htons(tcpPort_);
    tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SendAndLeave(AF_INET, reinterpret_cast<sockaddr*>(&tcp), sizeof tcp,
                 FrameRecord(EncodeCall(++xid_, kRpcbindProgram, kPortmapVersion, kProcUnset,
                                        PmapArgs(kCoreProgram, kVersion, port_))));
}

void RpcbindRegistration::setPlaces(const QString& localSocket, quint16 tcpPort) {
    localSocket_ = localSocket;
    tcpPort_ = tcpPort;
}

void RpcbindRegistration::set(const QHostAddress& address, quint16 port) {
    address_ = address;
    port_ = port;
    begin(true);
}

void RpcbindRegistration::unset() {
    if (!registered_ && !device_) return;
    begin(false);
}

// A registration of an earlier run (or another program) of the same program
// stands in the way of a new one: it is taken back first, as RPC servers do.
void RpcbindRegistration::begin(bool set) {
    closeDevice();
    wantSet_ = set;
    steps_ = set ? QList<Step>{Step::Unset, Step::Set} : QList<Step>{Step::Unset};
    via_ = Via::Local;
    startExchange();
}

void RpcbindRegistration::startExchange() {
    closeDevice();
    received_.clear();
    timeLimit_.start(kTimeLimitMs * kNsPerMs);
    if (via_ == Via::Local) {
        auto* socket = new QLocalSocket(this);
        device_ = socket;
        connect(socket, &QLocalSocket::connected, this,
                [this, socket] { socket->write(FrameRecord(callFor(steps_.first(), xid_))); });
        connect(socket, &QLocalSocket::errorOccurred, this,
                [this, socket] { exchangeFailed(socket->errorString()); });
        connect(socket, &QLocalSocket::readyRead, this, &RpcbindRegistration::readReply);
        ++xid_;
        socket->connectToServer(localSocket_);
    } else {
        auto* socket = new QTcpSocket(this);
        device_ = socket;
        connect(socket, &QTcpSocket::connected, this,
                [this, socket] { socket->write(FrameRecord(callFor(steps_.first(), xid_))); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, socket] { exchangeFailed(socket->errorString()); });
        connect(socket, &QTcpSocket::readyRead, this, &RpcbindRegistration::readReply);
        ++xid_;
        socket->connectToHost(QHostAddress::LocalHost, tcpPort_);
    }
}

QByteArray RpcbindRegistration::callFor(Step step, quint32 xid) const {
    const quint32 proc = step == Step::Set ? kProcSet : kProcUnset;
    if (via_ == Via::Local) {
        const QByteArray address =
            step == Step::Set ? UniversalAddress(address_, port_) : QByteArray();
        const QByteArray owner = QByteArray::number(::getuid());
        return EncodeCall(xid, kRpcbindProgram, kRpcbindVersion, proc,
                          RpcbArgs(kCoreProgram, kVersion, address, owner));
    }
    return EncodeCall(xid, kRpcbindProgram, kPortmapVersion, proc,
                      PmapArgs(kCoreProgram, kVersion, port_));
}

void RpcbindRegistration::readReply() {
    if (!device_) return;
    received_.append(device_->read(4096));
    if (received_.size() > 4096) return exchangeFailed(QStringLiteral("its answer is too long"));
    RecordReader records(4096);
    records.append(received_);
    const std::optional<RecordReader::Event> record = records.next();
    if (!record) return;
    const std::optional<QByteArray> results = record->kind == RecordReader::Event::Record
                                                  ? ParseSuccessReply(record->bytes, xid_)
                                                  : std::nullopt;
    const std::optional<bool> answer = results ? ReadBoolean(*results) : std::nullopt;
    if (!answer) return exchangeFailed(QStringLiteral("its answer cannot be read"));
    stepDone(*answer);
}

void RpcbindRegistration::stepDone(bool answer) {
    const Step step = steps_.takeFirst();
    if (step == Step::Set && !answer) {
        closeDevice();
        timeLimit_.stop();
        say(QStringLiteral("rpcbind refused to register VXI-11 (program 395183): VXI-11 clients "
                           "will not find the program; the raw socket works as before"));
        return;
    }
    if (!steps_.isEmpty()) return startExchange();
    closeDevice();
    timeLimit_.stop();
    registered_ = wantSet_;
    emit done(registered_);
}

void RpcbindRegistration::exchangeFailed(const QString& why) {
    if (!device_ && !timeLimit_.isActive()) return;
    if (via_ == Via::Local) {
        via_ = Via::Tcp;
        QMetaObject::invokeMethod(this, &RpcbindRegistration::startExchange, Qt::QueuedConnection);
        closeDevice();
        return;
    }
    closeDevice();
    timeLimit_.stop();
    if (!wantSet_) {
        registered_ = false;
        return;
    }
    say(QStringLiteral("rpcbind is not reachable (%1): VXI-11 clients that look the program up "
                       "(TCPIP::host::INSTR) will not find it; the raw socket works as before")
            .arg(why));
}

void RpcbindRegistration::say(const QString& text) {
    if (said_) return;
    said_ = true;
    emit unavailable(text);
}

// The socket may be inside one of its own signals: it goes at the next turn.
void RpcbindRegistration::closeDevice() {
    if (!device_) return;
    device_->disconnect(this);
    device_->close();
    device_->deleteLater();
    device_ = nullptr;
}

} // namespace velmora::vxi11
