#pragma once
// Remote control: SCPI over a raw TCP socket (port 5025 by default), for
// scripts and lab tools, while the panel keeps showing and recording.

#include "core/clock.h"
#include "core/settings_store.h"
#include "remote/remote_settings.h"
#include "vxi11/lan_presence.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <memory>
#include <vector>

namespace velmora {

class ScpiClient;
class Session;
class UnitSet;
class OneUnit;
class SettingsStore;

/// One connected client, as the Remote control window lists it.
struct RemoteClientInfo {
    QString peer; // "127.0.0.1:50412"
    QDateTime since;
    double watchdogSeconds = 0;
    QString unit = {}; // the unit it speaks to, on a bench of more than one
};

/// Listens for clients and runs their lines against the session. At most
/// eight at a time; a client outside the allowed networks, or a ninth, is
/// closed at once and counted. Each turn of the event loop runs a few lines
/// of each client and then lets the unit's line, its frames and its timers
/// go first: a client that sends faster than it is served is slowed by its
/// own socket, which is not read meanwhile. A client that leaves 64 KiB of
/// answers unread is disconnected and counted.
class RemoteServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxClients = 8;
    static constexpr qint64 kMaxUnreadBytes = 64 * 1024;
    /// Lines of one client run in one turn of the event loop, at most.
    static constexpr int kLinesPerTurn = 16;

    /// Serves the bench `units`; its own settings are stored in `store`.
    RemoteServer(UnitSet& units, Clock& clock, SettingsStore& store, QObject* parent = nullptr);
    /// Serves a bench of one unit.
    RemoteServer(Session& session, SettingsStore& store, QObject* parent = nullptr);
    ~RemoteServer() override;

    /// Listens as the settings say (or stops, when they say off). False with
    /// `error` set when it cannot listen (the port in use, say).
    bool apply(const RemoteSettings& settings, QString* error = nullptr);
    const RemoteSettings& settings() const { return settings_; }
    /// Stores the settings in the group "Remote"; false when the file
    /// cannot be written.
    bool store(const RemoteSettings& settings) { return SaveRemoteSettings(store_, settings); }
    bool listening() const { return server_.isListening(); }
    /// The port it listens on (the one asked for, or the system's choice for 0).
    quint16 port() const { return server_.serverPort(); }
    QList<RemoteClientInfo> clients() const;
    int refused() const { return refused_; }
    /// Clients disconnected for leaving their answers unread.
    int dropped() const { return dropped_; }
    /// Stops listening and lets every client go; nothing of theirs runs any more.
    void stop();
    /// The last lines received, newest last: "127.0.0.1:50412  VOLT 5".
    const QStringList& recentLines() const { return recent_; }
    /// The tooltip's line while listening: "remote: 2 clients, 127.0.0.1:5025".
    QString statusLine() const;
    /// rpcbind or Avahi absent or refusing, each said once: VXI-11 or the
    /// announcements are missing, the raw socket serves as ever.
    const QStringList& lanProblems() const { return lanProblems_; }
    /// VXI-11 beside the socket, its rpcbind registration and the announcements.
    vxi11::LanPresence& lan() { return *lan_; }
    /// Why the output was last zeroed by a watchdog; empty when never.
    const QString& watchdogNews() const { return watchdogNews_; }

  signals:
    /// Clients, lines or the listening state changed: windows show it anew.
    void changed();
    /// One line for a log: a client connected or refused, a watchdog zeroing.
    void news(const QString& text);

  private:
    struct Client;
    /// Hands over each connection's descriptor, so the server reads it by hand.
    class Listener final : public QTcpServer {
      public:
        std::function<void(qintptr)> arrived;

      protected:
        void incomingConnection(qintptr descriptor) override { arrived(descriptor); }
    };

    void accept(qintptr descriptor);
    void readFrom(Client& client);
    void serveMore();
    void dropClient(quint64 id, const QString& why);
    void dropLater(Client& client, const QString& why);
    void noteLine(const Client& client, const QByteArray& text);
    void watchdogFired(const QString& peer, double seconds, ScpiClient* client);
    void watchWatchdog(Client& client);
    QString refusalFor(const QHostAddress& address, const QString& peer);
    void makeLan();
    void followLan();
    std::unique_ptr<vxi11::Conversation> openLink(const QHostAddress& address, QString* refusal);

    std::unique_ptr<OneUnit> ownUnit_; // a bench of one, when made for one session
    UnitSet& bench_;
    Clock& clock_;
    SettingsStore& store_;
    Listener server_;
    RemoteSettings settings_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<std::unique_ptr<Timer>> orphanWatchdogs_; // of clients that have gone
    QStringList recent_;
    QString watchdogNews_;
    int refused_ = 0;
    int dropped_ = 0;
    bool stopped_ = false;
    std::unique_ptr<Timer> serveMore_; // a client has lines left for the next turn
    quint64 nextId_ = 1;
    QStringList lanProblems_;
    std::unique_ptr<vxi11::LanPresence> lan_; // last: its links end before the rest
};

} // namespace velmora
