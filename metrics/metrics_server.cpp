#include "metrics/metrics_server.h"

#include <QTcpSocket>

namespace velmora {

struct MetricsServer::Connection {
    Connection(Clock& clock, std::function<void()> late) : deadline(clock, std::move(late)) {}
    QTcpSocket* socket = nullptr;
    QByteArray head;
    bool answered = false;
    Timer deadline;
};

MetricsServer::MetricsServer(Clock& clock, std::function<MetricsSnapshot()> snapshot,
                             QObject* parent)
    : QObject(parent), clock_(clock), snapshot_(std::move(snapshot)) {
    connect(&server_, &QTcpServer::newConnection, this, &MetricsServer::accept);
}

MetricsServer::~MetricsServer() {
    while (!connections_.empty())
        drop(connections_.begin()->first);
}

bool MetricsServer::apply(const MetricsSettings& settings, QString* error) {
    while (!connections_.empty())
        drop(connections_.begin()->first);
    server_.close();
    if (!settings.enabled()) return true;
    const QString host = settings.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + settings.address.toString() + u']'
                             : settings.address.toString();
    const QString place = QStringLiteral("%1:%2").arg(host).arg(settings.port);
    if (!server_.listen(settings.address, settings.port)) {
        if (error) *error = server_.errorString();
        emit news(QStringLiteral("metrics page cannot listen on %1: %2")
                      .arg(place, server_.errorString()));
        return false;
    }
    emit news(QStringLiteral("metrics page on http://%1/metrics").arg(place));
    return true;
}

void MetricsServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (int(connections_.size()) >= kMaxConnections) {
            ++closed_;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = nextId_++;
        auto c = std::make_unique<Connection>(clock_, [this, id] {
            ++closed_;
            drop(id);
        });
        c->socket = socket;
        // Qt reads no more than this ahead of us: a megabyte waits in the kernel.
        socket->setReadBufferSize(kMaxHeadBytes + 1);
        c->deadline.start(kConnectionMs * kNsPerMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { read(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { drop(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] {
            const auto it = connections_.find(id);
            // All written: closed from this side once the kernel has sent it.
            if (it != connections_.end() && it->second->answered &&
                it->second->socket->bytesToWrite() == 0)
                it->second->socket->disconnectFromHost();
        });
        connections_.emplace(id, std::move(c));
    }
}

void MetricsServer::read(quint64 id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& c = *it->second;
    if (c.answered) {
        c.socket->skip(c.socket->bytesAvailable()); // what follows the head is not read
        return;
    }
    c.head += c.socket->read(kMaxHeadBytes + 1 - c.head.size());
    qsizetype end = c.head.indexOf("\r\n\r\n");
    if (end < 0) end = c.head.indexOf("\n\n");
    if (end >= 0 && end <= kMaxHeadBytes) {
        answer(c, HttpAnswer(c.head.left(end), [this] {
                   ++scrapes_;
                   return MetricsText(snapshot_());
               }));
    } else if (c.head.size() > kMaxHeadBytes) {
        answer(c, HttpTooLarge());
    }
}

void MetricsServer::answer(Connection& c, const QByteArray& bytes) {
    c.answered = true;
    c.head.clear();
    c.socket->write(bytes);
}

void MetricsServer::drop(quint64 id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    QTcpSocket* socket = it->second->socket;
    connections_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace velmora
