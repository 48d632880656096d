#include "remote/remote_server.h"

#include "remote/scpi_client.h"
#include "scpi/scpi_line.h"
#include "session/session.h"

#include <QTcpSocket>
#include <algorithm>
#include <sys/socket.h>

namespace velmora {

namespace {

constexpr qsizetype kRecentLines = 50;
constexpr qint64 kReadChunk = 16 * 1024;

QString PeerText(const QTcpSocket& socket) {
    return ListenPlaceText(socket.peerAddress(), socket.peerPort());
}

// Puts an answer on the wire now. Straight to the socket while nothing waits
// before it: going through the socket's buffer turns its write notifier on
// and off for every answer, and each turn wakes the event loop once more.
// What the socket does not take at once waits in the buffer, in order.
void WriteAnswer(QTcpSocket& socket, const QByteArray& line) {
    qsizetype sent = 0;
    if (socket.bytesToWrite() == 0 && socket.socketDescriptor() >= 0) {
        const ssize_t n = ::send(int(socket.socketDescriptor()), line.constData(),
                                 size_t(line.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        sent = n > 0 ? qsizetype(n) : 0;
    }
    if (sent < line.size()) {
        socket.write(line.constData() + sent, line.size() - sent);
        socket.flush();
    }
}

} // namespace

struct RemoteServer::Client {
    quint64 id;
    bool closing = false; // dropped at the next turn
    QTcpSocket* socket;
    QString peer;
    QDateTime since;
    scpi::LineReader lines;
    std::unique_ptr<ScpiClient> scpi;
    std::unique_ptr<Timer> watchdog;
};

RemoteServer::RemoteServer(Session& session, QObject* parent) : QObject(parent), session_(session) {
    connect(&server_, &QTcpServer::newConnection, this, &RemoteServer::accept);
}

RemoteServer::~RemoteServer() {
    for (auto& client : clients_)
        client->socket->disconnect(this);
}

bool RemoteServer::apply(const RemoteSettings& settings, QString* error) {
    const bool same = settings == settings_ && server_.isListening() == settings.enabled;
    settings_ = settings;
    if (same) return true;
    server_.close();
    bool ok = true;
    if (settings_.enabled && !server_.listen(settings_.address, settings_.port)) {
        ok = false;
        if (error) *error = server_.errorString();
        emit news(
            QStringLiteral("remote control cannot listen on %1: %2")
                .arg(ListenPlaceText(settings_.address, settings_.port), server_.errorString()));
    } else if (settings_.enabled) {
        emit news(QStringLiteral("remote control listening on %1")
                      .arg(ListenPlaceText(settings_.address, server_.serverPort())));
    }
    emit changed();
    return ok;
}

void RemoteServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QString peer = PeerText(*socket);
        const bool allowed = settings_.allowed.allows(socket->peerAddress());
        if (!allowed || int(clients_.size()) >= kMaxClients) {
            ++refused_;
            socket->abort();
            socket->deleteLater();
            emit news(QStringLiteral("remote client %1 refused: %2")
                          .arg(peer, allowed ? QStringLiteral("already %1 clients").arg(kMaxClients)
                                             : QStringLiteral("not in AllowFrom")));
            emit changed();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_unique<Client>();
        client->id = nextId_++;
        client->socket = socket;
        client->peer = peer;
        client->since = session_.clock().localNow();
        client->scpi = std::make_unique<ScpiClient>(session_);
        Client* raw = client.get();
        connect(client->scpi.get(), &ScpiClient::answer, this, [this, raw](const QByteArray& line) {
            if (raw->closing) return;
            WriteAnswer(*raw->socket, line);
            if (raw->socket->bytesToWrite() > kMaxUnreadBytes)
                dropLater(*raw, QStringLiteral("disconnected: 64 KiB of answers left unread"));
        });
        connect(client->scpi.get(), &ScpiClient::ready, this, [this, raw] { readFrom(*raw); });
        connect(client->scpi.get(), &ScpiClient::watchdogChanged, this, [this, raw](double s) {
            if (s <= 0) {
                raw->watchdog.reset();
            } else {
                ScpiClient* scpi = raw->scpi.get();
                const QString who = raw->peer;
                raw->watchdog = std::make_unique<Timer>(
                    session_.clock(), [this, who, s, scpi] { watchdogFired(who, s, scpi); });
                raw->watchdog->start(qint64(s * kNsPerSecond));
            }
            emit changed();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { readFrom(*raw); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, raw] { dropLater(*raw, QStringLiteral("disconnected")); });
        clients_.push_back(std::move(client));
        emit news(QStringLiteral("remote client %1 connected").arg(peer));
        emit changed();
    }
}

void RemoteServer::readFrom(Client& client) {
    // Lines run one after the other; while one waits for its commands to go
    // out, the rest stay in the socket.
    for (;;) {
        while (!client.scpi->busy() && !client.closing) {
            const std::optional<scpi::LineReader::Line> line = client.lines.Next();
            if (!line) break;
            noteLine(client, line->tooLong ? QByteArray("(a line over 4096 bytes)") : line->text);
            client.scpi->takeLine(*line);
        }
        if (client.closing || client.scpi->busy() || client.socket->bytesAvailable() == 0) return;
        client.lines.Append(
            client.socket->read(std::min(client.socket->bytesAvailable(), kReadChunk)));
        // Anything a client sends counts as a sign of life for its watchdog.
        if (client.watchdog)
            client.watchdog->start(qint64(client.scpi->watchdogSeconds() * kNsPerSecond));
    }
}

void RemoteServer::noteLine(const Client& client, const QByteArray& text) {
    recent_.append(client.peer + QStringLiteral("  ") + QString::fromLatin1(text.left(200)));
    if (recent_.size() > kRecentLines) recent_.removeFirst();
    emit changed();
}

// Not while its own lines or answers are being handled: at the next turn.
void RemoteServer::dropLater(Client& client, const QString& why) {
    if (client.closing) return;
    client.closing = true;
    QMetaObject::invokeMethod(
        this, [this, id = client.id, why] { dropClient(id, why); }, Qt::QueuedConnection);
}

void RemoteServer::dropClient(quint64 id, const QString& why) {
    const auto it =
        std::find_if(clients_.begin(), clients_.end(), [id](const auto& c) { return c->id == id; });
    if (it == clients_.end()) return;
    std::unique_ptr<Client> gone = std::move(*it);
    clients_.erase(it);
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket->deleteLater();
    // A watchdog outlives its client: a script that died sends nothing more.
    if (gone->watchdog && gone->watchdog->isActive()) {
        const QString who = gone->peer;
        const double s = gone->scpi->watchdogSeconds();
        const qint64 due = gone->watchdog->dueNs();
        auto orphan = std::make_unique<Timer>(session_.clock(),
                                              [this, who, s] { watchdogFired(who, s, nullptr); });
        orphan->startAt(due);
        orphanWatchdogs_.push_back(std::move(orphan));
    }
    gone->scpi.release()->deleteLater();
    emit news(QStringLiteral("remote client %1 %2").arg(gone->peer, why));
    emit changed();
}

void RemoteServer::watchdogFired(const QString& peer, double seconds, ScpiClient* client) {
    session_.zeroOutput();
    watchdogNews_ =
        QStringLiteral("watchdog: output zeroed after %1 s without a line from %2, at %3")
            .arg(seconds)
            .arg(peer, session_.clock().localNow().toString(QStringLiteral("hh:mm:ss")));
    if (client)
        client->pushError({scpi::ErrorCode::DeviceSpecificError,
                           QStringLiteral("watchdog zeroed the output after %1 s").arg(seconds)});
    // Timers of clients that have gone fire once; let them go, after this one has.
    QMetaObject::invokeMethod(
        this,
        [this] {
            orphanWatchdogs_.erase(std::remove_if(orphanWatchdogs_.begin(), orphanWatchdogs_.end(),
                                                  [](const auto& t) { return !t->isActive(); }),
                                   orphanWatchdogs_.end());
        },
        Qt::QueuedConnection);
    emit news(watchdogNews_);
    emit changed();
}

QList<RemoteClientInfo> RemoteServer::clients() const {
    QList<RemoteClientInfo> list;
    for (const auto& client : clients_)
        list.append({client->peer, client->since, client->scpi->watchdogSeconds()});
    return list;
}

QString RemoteServer::statusLine() const {
    if (!server_.isListening()) return {};
    const qsizetype n = qsizetype(clients_.size());
    return QStringLiteral("remote: %1 %2, %3")
        .arg(n)
        .arg(n == 1 ? QStringLiteral("client") : QStringLiteral("clients"),
             ListenPlaceText(settings_.address, server_.serverPort()));
}

} // namespace velmora
