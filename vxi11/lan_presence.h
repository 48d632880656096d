#pragma once
// Remote control's presence on the network beside its raw socket: the VXI-11
// server, its registration with rpcbind and the Avahi announcements, kept in
// step with remote control listening and stopping.

#include "announce/announcer.h"
#include "core/clock.h"
#include "vxi11/conversation.h"
#include "vxi11/rpcbind_registration.h"
#include "vxi11/vxi11_server.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>

namespace velmora::vxi11 {

/// What remote control's presence is made of, besides where it listens.
struct LanOptions {
    bool vxi11 = true;   // [Remote] VXI11
    QStringList models;  // for the announcement, "2,5A/25V"
    QString version;     // the program's
    QString serviceName; // empty: "Velmora (host name)"
    bool operator==(const LanOptions&) const = default;
};

/// The stored `[Remote] VXI11`: true unless "false"; a text that is neither
/// keeps true and says why in `problem`.
bool ReadVxi11Setting(const QString& text, QString* problem = nullptr);

/// Serves VXI-11 on the address remote control listens on (at a port the
/// system chooses, which rpcbind tells clients), registers it, and announces
/// both off loopback. rpcbind's or Avahi's absence is said once each and
/// changes nothing else.
class LanPresence : public QObject {
    Q_OBJECT
  public:
    LanPresence(Clock& clock, ConversationFactory factory, QObject* parent = nullptr);

    /// Remote control listens (again, or with other options) on `address`,
    /// its raw socket at `socketPort`.
    void listening(const QHostAddress& address, quint16 socketPort, const LanOptions& options);
    /// Remote control has stopped: VXI-11 closes, its registration and the
    /// announcements are taken back.
    void stopped();

    Server& server() { return server_; }
    RpcbindRegistration& registration() { return registration_; }
    Announcer& announcer() { return announcer_; }

  signals:
    /// A line for the log: a VXI-11 client connected, refused or gone.
    void news(const QString& text);
    /// Said once each: rpcbind or Avahi is absent or refused (for the window
    /// and standard error).
    void problem(const QString& text);

  private:
    Server server_;
    RpcbindRegistration registration_;
    Announcer announcer_;
    QHostAddress address_;
};

} // namespace velmora::vxi11
