#include "vxi11/vxi11_server.h"

#include "vxi11/server_parts.h"

#include <sys/socket.h>
#include <vector>

namespace velmora::vxi11 {

namespace {

constexpr qint64 kSocketBuffer = 64 * 1024; // what Qt reads ahead from the network
constexpr qint64 kReadChunk = 16 * 1024;
constexpr qint64 kBytesPerTurn = 256 * 1024; // of one connection, before the others' turn
constexpr int kCallsPerTurn = 16;
constexpr qint64 kMaxUnsentReplies = 256 * 1024;

QString PeerText(const QTcpSocket& socket) {
    QHostAddress address = socket.peerAddress();
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped) address = QHostAddress(v4);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return host + u':' + QString::number(socket.peerPort());
}

} // namespace

Server::Server(Clock& clock, ConversationFactory factory, QObject* parent)
    : QObject(parent), clock_(clock), factory_(std::move(factory)),
      kickTimer_(clock, [this] { runKick(); }) {
    connect(&server_, &QTcpServer::newConnection, this, &Server::accept);
}

Server::~Server() {
    for (auto& [id, connection] : connections_)
        connection->socket->disconnect(this);
    for (auto& [lid, link] : links_)
        link->conversation->disconnect(this);
}

bool Server::listen(const QHostAddress& address, quint16 port, QString* error) {
    close();
    if (server_.listen(address, port)) return true;
    if (error) *error = server_.errorString();
    return false;
}

void Server::close() {
    server_.close();
    std::vector<quint64> ids;
    for (const auto& [id, connection] : connections_)
        ids.push_back(id);
    for (const quint64 id : ids)
        dropConnection(id, QStringLiteral("closed: VXI-11 stopped"));
}

void Server::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (int(connections_.size()) >= kMaxConnections) {
            emit news(QStringLiteral("VXI-11 connection from %1 refused: already %2 connections")
                          .arg(PeerText(*socket))
                          .arg(kMaxConnections));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Qt's own buffer is bounded too: a client sending faster than its
        // calls are served waits in the network.
        socket->setReadBufferSize(kSocketBuffer);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto connection = std::make_unique<Connection>();
        const quint64 id = nextConnection_++;
        connection->id = id;
        connection->socket = socket;
        connection->peer = PeerText(*socket);
        connection->jobTimer = std::make_unique<Timer>(clock_, [this, id] {
            if (const auto it = connections_.find(id); it != connections_.end())
                retryJob(*it->second);
        });
        Connection* raw = connection.get();
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { serve(*raw); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, raw] { dropLater(*raw, QStringLiteral("disconnected")); });
        connections_.emplace(id, std::move(connection));
    }
}

// Runs the calls that have arrived, one after the other, until one waits,
// the bytes run out or this turn's share is used up.
void Server::serve(Connection& connection) {
    qint64 read = 0;
    int calls = 0;
    while (!connection.closing && !connection.job) {
        if (calls >= kCallsPerTurn || read >= kBytesPerTurn) return kick();
        std::optional<RecordReader::Event> event = connection.records.next();
        if (!event && !MayBeCall(connection.records.oversizedHead())) {
            dropLater(connection, QStringLiteral("closed: it sent something that is no RPC call"));
            return;
        }
        if (!event) {
            if (!readMore(connection)) return;
            read += kReadChunk;
            continue;
        }
        ++calls;
        if (event->kind == RecordReader::Event::Oversized)
            oversized(connection, event->bytes);
        else if (!startCall(connection, event->bytes))
            return;
    }
}

bool Server::readMore(Connection& connection) {
    const qint64 available = connection.socket->bytesAvailable();
    if (available <= 0) return false;
    connection.records.append(connection.socket->read(std::min(available, kReadChunk)));
    return true;
}

bool Server::startCall(Connection& connection, const QByteArray& record) {
    ParsedCall parsed = ParseCall(record);
    if (parsed.kind == ParsedCall::NotACall) {
        dropLater(connection, QStringLiteral("closed: it sent something that is no RPC call"));
        return false;
    }
    if (parsed.kind == ParsedCall::WrongRpcVersion) {
        send(connection, RpcMismatchReply(parsed.call.xid));
        return true;
    }
    connection.job = Job{std::move(parsed.call), clock_.monotonicNs(), 0, 0};
    retryJob(connection);
    return true;
}

// A call too long to hold: answered at once from its head, its other bytes
// dropped as they come. A device_write longer than the size each link
// announced is a parameter error; anything else cannot be read whole.
void Server::oversized(Connection& connection, const QByteArray& head) {
    const ParsedCall parsed = ParseCall(head);
    if (parsed.kind == ParsedCall::NotACall) {
        dropLater(connection, QStringLiteral("closed: it sent something that is no RPC call"));
        return;
    }
    const RpcCall& call = parsed.call;
    if (parsed.kind == ParsedCall::WrongRpcVersion)
        send(connection, RpcMismatchReply(call.xid));
    else if (call.program == kCoreProgram && call.version == kVersion &&
             call.procedure == quint32(Proc::DeviceWrite))
        send(connection, SuccessReply(call.xid, WriteResult(DeviceError::Parameter, 0)));
    else
        send(connection, ErrorReply(call.xid, AcceptStat::GarbageArgs));
}

void Server::retryJob(Connection& connection) {
    if (!connection.job || connection.closing) return;
    if (const Reply reply = dispatch(connection, *connection.job)) {
        finishJob(connection, *reply);
        return;
    }
    connection.jobTimer->startAt(connection.job->deadlineNs);
}

void Server::finishJob(Connection& connection, const QByteArray& reply) {
    connection.job.reset();
    connection.jobTimer->stop();
    send(connection, reply);
    serve(connection);
}

// Straight to the socket while nothing waits before it: through Qt's buffer
// each reply would wake the event loop once more for its write notifier.
void Server::send(Connection& connection, const QByteArray& reply) {
    if (connection.closing) return;
    const QByteArray record = FrameRecord(reply);
    QTcpSocket& socket = *connection.socket;
    qsizetype sent = 0;
    if (socket.bytesToWrite() == 0 && socket.socketDescriptor() >= 0) {
        const ssize_t n = ::send(int(socket.socketDescriptor()), record.constData(),
                                 size_t(record.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        sent = n > 0 ? qsizetype(n) : 0;
    }
    if (sent < record.size()) socket.write(record.constData() + sent, record.size() - sent);
    if (connection.socket->bytesToWrite() > kMaxUnsentReplies)
        dropLater(connection, QStringLiteral("closed: it left its replies unread"));
}

// Something a waiting call may wait for has happened (the lock came free, an
// answer arrived, a conversation is ready again): every waiting call and
// every link's lines get their turn at the next pass of the event loop.
void Server::kick() {
    if (!kickTimer_.isActive()) kickTimer_.start(0);
}

void Server::runKick() {
    int budget = 256; // lines handed to the conversations in this turn
    for (auto& [lid, link] : links_)
        pump(*link, budget);
    std::vector<quint64> ids;
    for (const auto& [id, connection] : connections_)
        ids.push_back(id);
    for (const quint64 id : ids) {
        const auto it = connections_.find(id);
        if (it == connections_.end()) continue;
        if (it->second->job)
            retryJob(*it->second);
        else
            serve(*it->second);
    }
    if (budget <= 0) kick();
}

void Server::pump(Link& link, int& budget) {
    while (budget > 0 && !link.conversation->busy()) {
        const std::optional<scpi::LineReader::Line> line = link.input.Next();
        if (!line) return;
        --budget;
        link.conversation->takeLine(*line);
    }
}

// Not while its own calls are being handled: at the next turn.
void Server::dropLater(Connection& connection, const QString& why) {
    if (connection.closing) return;
    connection.closing = true;
    QMetaObject::invokeMethod(
        this, [this, id = connection.id, why] { dropConnection(id, why); }, Qt::QueuedConnection);
}

void Server::dropConnection(quint64 id, const QString& why) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    std::unique_ptr<Connection> gone = std::move(it->second);
    connections_.erase(it);
    std::vector<qint32> lids;
    for (const auto& [lid, link] : links_)
        if (link->connection == id) lids.push_back(lid);
    for (const qint32 lid : lids)
        destroyLink(lid);
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket->deleteLater();
    if (!lids.empty()) emit news(QStringLiteral("VXI-11 client %1 %2").arg(gone->peer, why));
}

void Server::destroyLink(qint32 lid) {
    const auto it = links_.find(lid);
    if (it == links_.end()) return;
    std::unique_ptr<Link> gone = std::move(it->second);
    links_.erase(it);
    if (lockHolder_ == lid) lockHolder_ = 0;
    gone->conversation->disconnect(this);
    // It may be inside one of its own handlers still: it goes at the next turn.
    gone->conversation.release()->deleteLater();
    kick();
    emit changed();
}

Server::Link* Server::link(qint32 lid) {
    const auto it = links_.find(lid);
    return it == links_.end() ? nullptr : it->second.get();
}

} // namespace velmora::vxi11
