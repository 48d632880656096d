#include "remote/remote_server.h"

#include "core/command_line.h"
#include "remote/link_conversation.h"

#include "remote/scpi_client.h"
#include "remote/tcp_connection.h"
#include "scpi/scpi_line.h"
#include "session/session.h"
#include "session/unit_set.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr qsizetype kRecentLines = 50;
// Read at once from a client: a few lines' worth, so one turn stays short.
constexpr qint64 kReadChunk = 4 * 1024;

} // namespace

struct RemoteServer::Client {
    quint64 id;
    bool closing = false; // dropped at the next turn
    bool more = false;    // lines left for the next turn
    std::unique_ptr<TcpConnection> connection;
    QString peer;
    QDateTime since;
    scpi::LineReader lines;
    std::unique_ptr<ScpiClient> own; // a socket client's; a VXI-11 link's conversation owns its own
    ScpiClient* scpi = nullptr;
    std::unique_ptr<Timer> watchdog;
};

RemoteServer::RemoteServer(UnitSet& units, Clock& clock, SettingsStore& store, QObject* parent)
    : QObject(parent), bench_(units), clock_(clock), store_(store),
      serveMore_(std::make_unique<Timer>(clock_, [this] { serveMore(); })) {
    server_.arrived = [this](qintptr descriptor) { accept(descriptor); };
    makeLan();
}

void RemoteServer::makeLan() {
    lan_ = std::make_unique<vxi11::LanPresence>(
        clock_, [this](const QHostAddress& peer, QString* refusal) { return openLink(peer, refusal); });
    connect(lan_.get(), &vxi11::LanPresence::news, this, &RemoteServer::news);
    connect(lan_.get(), &vxi11::LanPresence::problem, this, [this](const QString& text) {
        lanProblems_ << text;
        emit news(text);
        emit changed();
    });
    // The announcement names the units' models.
    connect(&bench_, &UnitSet::changed, this, [this] {
        if (server_.isListening()) followLan();
    });
}

RemoteServer::RemoteServer(Session& session, SettingsStore& store, QObject* parent)
    : QObject(parent), ownUnit_(std::make_unique<OneUnit>(session)), bench_(*ownUnit_),
      clock_(session.clock()), store_(store),
      serveMore_(std::make_unique<Timer>(clock_, [this] { serveMore(); })) {
    server_.arrived = [this](qintptr descriptor) { accept(descriptor); };
    makeLan();
}

// The links go first, while everything they tell of is still whole.
RemoteServer::~RemoteServer() {
    stopped_ = true;
    lan_.reset();
}

bool RemoteServer::apply(const RemoteSettings& settings, QString* error) {
    const bool same = settings == settings_ && server_.isListening() == settings.enabled;
    settings_ = settings;
    if (same || stopped_) return true;
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
    followLan();
    emit changed();
    return ok;
}

// VXI-11, its registration and the announcements go with the raw socket.
void RemoteServer::followLan() {
    if (stopped_ || !server_.isListening()) return lan_->stopped();
    QStringList models;
    for (int n = 1; n <= bench_.count(); ++n)
        models << ModelName(bench_.at(n).unit().model());
    lan_->listening(settings_.address, server_.serverPort(),
                    {settings_.vxi11, models, ProgramVersion(), {}});
}

// A VXI-11 link is a client as a socket is: the same allowed networks, the
// same most clients at once, its own ScpiClient, its watchdog fed by its lines.
std::unique_ptr<vxi11::Conversation> RemoteServer::openLink(const QHostAddress& address,
                                                            QString* refusal) {
    const QString peer = QStringLiteral("VXI-11 ") + address.toString();
    if (const QString why = refusalFor(address, peer); !why.isEmpty()) {
        if (refusal) *refusal = why;
        return nullptr;
    }
    auto client = std::make_unique<Client>();
    const quint64 id = nextId_++;
    client->id = id;
    client->peer = peer;
    client->since = clock_.localNow();
    auto scpi = std::make_unique<ScpiClient>(bench_);
    client->scpi = scpi.get();
    Client* raw = client.get();
    auto conversation = std::make_unique<LinkConversation>(
        std::move(scpi),
        [this, raw](const scpi::LineReader::Line& line) {
            noteLine(*raw, line.tooLong ? QByteArray("(a line over 4096 bytes)") : line.text);
            if (raw->watchdog)
                raw->watchdog->start(qint64(raw->scpi->watchdogSeconds() * kNsPerSecond));
        },
        [this, id] {
            if (!stopped_) dropClient(id, QStringLiteral("link destroyed"));
        });
    watchWatchdog(*raw);
    clients_.push_back(std::move(client));
    emit news(QStringLiteral("remote client %1 connected").arg(peer));
    emit changed();
    return conversation;
}

void RemoteServer::stop() {
    stopped_ = true;
    server_.close();
    serveMore_->stop();
    lan_->stopped();
    for (auto& client : clients_)
        if (client->connection) client->connection->close();
    clients_.clear();
    orphanWatchdogs_.clear();
    emit changed();
}

// SYST:WDOG starts, moves or stops the client's watchdog.
void RemoteServer::watchWatchdog(Client& client) {
    Client* raw = &client;
    connect(client.scpi, &ScpiClient::watchdogChanged, this, [this, raw](double s) {
        if (s <= 0) {
            raw->watchdog.reset();
        } else {
            ScpiClient* scpi = raw->scpi;
            const QString who = raw->peer;
            raw->watchdog = std::make_unique<Timer>(
                clock_, [this, who, s, scpi] { watchdogFired(who, s, scpi); });
            raw->watchdog->start(qint64(s * kNsPerSecond));
        }
        emit changed();
    });
}

// A client beyond the allowed networks or the most clients at once is refused.
QString RemoteServer::refusalFor(const QHostAddress& address, const QString& peer) {
    const bool allowed = settings_.allowed.allows(address);
    if (allowed && int(clients_.size()) < kMaxClients) return {};
    ++refused_;
    const QString why = allowed ? QStringLiteral("already %1 clients").arg(kMaxClients)
                                : QStringLiteral("not in AllowFrom");
    emit news(QStringLiteral("remote client %1 refused: %2").arg(peer, why));
    emit changed();
    return why;
}

void RemoteServer::accept(qintptr descriptor) {
    auto connection = std::make_unique<TcpConnection>(descriptor);
    const QString peer = ListenPlaceText(connection->peerAddress(), connection->peerPort());
    if (!refusalFor(connection->peerAddress(), peer).isEmpty()) return;
    auto client = std::make_unique<Client>();
    client->id = nextId_++;
    client->connection = std::move(connection);
    client->peer = peer;
    client->since = clock_.localNow();
    client->own = std::make_unique<ScpiClient>(bench_);
    client->scpi = client->own.get();
    Client* raw = client.get();
    connect(client->scpi, &ScpiClient::answer, this, [this, raw](const QByteArray& line) {
        if (raw->closing) return;
        raw->connection->write(line);
        if (raw->connection->bytesToWrite() > kMaxUnreadBytes) {
            ++dropped_;
            dropLater(*raw, QStringLiteral("disconnected: 64 KiB of answers left unread"));
        }
    });
    connect(client->scpi, &ScpiClient::ready, this, [this, raw] { readFrom(*raw); });
    watchWatchdog(*raw);
    TcpConnection* link = client->connection.get();
    connect(link, &TcpConnection::readable, this, [this, raw] { readFrom(*raw); });
    connect(link, &TcpConnection::failed, this,
            [this, raw] { dropLater(*raw, QStringLiteral("disconnected")); });
    // A client that has said all it will goes once its answers are out; seen
    // at the next turn, not inside the write that drained them.
    connect(link, &TcpConnection::drained, this, [this, raw] {
        if (!raw->connection->peerClosed()) return;
        raw->more = true;
        if (!serveMore_->isActive()) serveMore_->start(0);
    });
    clients_.push_back(std::move(client));
    emit news(QStringLiteral("remote client %1 connected").arg(peer));
    emit changed();
}

// Runs a client's lines, a few a turn: while one waits for its commands to go
// out, or when its turn is used up, the rest stay where they are and the
// socket is not read, so the client is slowed by its own socket.
void RemoteServer::readFrom(Client& client) {
    if (client.closing || stopped_) return;
    TcpConnection& link = *client.connection;
    int budget = kLinesPerTurn;
    for (;;) {
        while (!client.scpi->busy() && !client.closing) {
            if (budget == 0) {
                link.setReading(false);
                client.more = true;
                if (!serveMore_->isActive()) serveMore_->start(0);
                return;
            }
            const std::optional<scpi::LineReader::Line> line = client.lines.Next();
            if (!line) break;
            --budget;
            noteLine(client, line->tooLong ? QByteArray("(a line over 4096 bytes)") : line->text);
            client.scpi->takeLine(*line);
        }
        if (client.closing) return;
        if (client.scpi->busy()) return link.setReading(false);
        const QByteArray bytes = link.read(kReadChunk);
        if (bytes.isEmpty()) break;
        client.lines.Append(bytes);
        // Anything a client sends counts as a sign of life for its watchdog.
        if (client.watchdog)
            client.watchdog->start(qint64(client.scpi->watchdogSeconds() * kNsPerSecond));
    }
    link.setReading(true);
    if (link.peerClosed() && link.bytesToWrite() == 0)
        dropLater(client, QStringLiteral("disconnected"));
}

void RemoteServer::serveMore() {
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        Client& client = *clients_[i];
        if (!std::exchange(client.more, false)) continue;
        readFrom(client);
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
    client.connection->setReading(false);
    QMetaObject::invokeMethod(
        this, [this, id = client.id, why] { dropClient(id, why); }, Qt::QueuedConnection);
}

void RemoteServer::dropClient(quint64 id, const QString& why) {
    const auto it =
        std::find_if(clients_.begin(), clients_.end(), [id](const auto& c) { return c->id == id; });
    if (it == clients_.end()) return;
    std::unique_ptr<Client> gone = std::move(*it);
    clients_.erase(it);
    if (gone->connection) gone->connection->close();
    // A watchdog outlives its client: a script that died sends nothing more.
    if (gone->watchdog && gone->watchdog->isActive()) {
        const QString who = gone->peer;
        const double s = gone->scpi->watchdogSeconds();
        const qint64 due = gone->watchdog->dueNs();
        auto orphan = std::make_unique<Timer>(clock_,
                                              [this, who, s] { watchdogFired(who, s, nullptr); });
        orphan->startAt(due);
        orphanWatchdogs_.push_back(std::move(orphan));
    }
    if (gone->own) gone->own.release()->deleteLater();
    emit news(QStringLiteral("remote client %1 %2").arg(gone->peer, why));
    emit changed();
}

void RemoteServer::watchdogFired(const QString& peer, double seconds, ScpiClient* client) {
    // The client may have driven any unit: every one goes to zero.
    bench_.allOutputsOff(SetpointSource::Watchdog);
    watchdogNews_ =
        QStringLiteral("watchdog: output zeroed after %1 s without a line from %2, at %3")
            .arg(seconds)
            .arg(peer, clock_.localNow().toString(QStringLiteral("hh:mm:ss")));
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
        list.append({client->peer, client->since, client->scpi->watchdogSeconds(),
                     bench_.count() > 1 ? bench_.name(client->scpi->selectedUnit()) : QString()});
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
