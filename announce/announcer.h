#pragma once
// Announces remote control on the local network through the system's Avahi
// daemon (its client library, on the event loop): the raw socket as
// _scpi-raw._tcp and VXI-11 as _vxi-11._tcp on rpcbind's port 111, so
// discovery tools find the program as they find an instrument.

#include "core/clock.h"

#include <QByteArrayList>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

struct AvahiClient;
struct AvahiEntryGroup;

namespace velmora {

class AvahiEventLoopPoll;

/// What to announce.
struct Announcement {
    QString name;           // the service name, "Velmora (bench-pc)"
    quint16 socketPort = 0; // the raw socket's port
    bool vxi11 = false;     // VXI-11 is served (and found through port 111)
    QStringList models;     // the models in force, "1A/20V"
    QString version;        // the program's
    bool operator==(const Announcement&) const = default;
};

/// The TXT record: manufacturer, model(s), version.
QByteArrayList AnnouncementTxt(const Announcement& announcement);
/// Whether remote control listening on `address` is announced: not on
/// loopback, which no other machine reaches.
bool ShouldAnnounce(const QHostAddress& address);
/// "Velmora (host)": the default service name.
QString DefaultServiceName(const QString& hostName);

/// Keeps one announcement up while asked to, through the Avahi daemon, and
/// follows the daemon coming and going. Without Avahi it says so once and
/// does nothing else.
class Announcer : public QObject {
    Q_OBJECT
  public:
    explicit Announcer(Clock& clock, QObject* parent = nullptr);
    ~Announcer() override;

    /// Announces this (replacing an earlier announcement).
    void announce(const Announcement& announcement);
    /// Withdraws the announcement.
    void withdraw();
    /// The daemon has taken the announcement and found its name free.
    bool established() const { return established_; }
    /// The name in use: the one asked for, or Avahi's alternative after a clash.
    const QString& nameInUse() const { return name_; }

  signals:
    /// The announcement is up (true) or down (false).
    void changed(bool established);
    /// Said once in the object's life: Avahi is absent or failed.
    void unavailable(const QString& text);

  private:
    friend struct AvahiCallbacks;
    void clientEvent(AvahiClient* client, int state);
    void groupEvent(AvahiEntryGroup* group, int state);
    bool connectClient();
    void publish();
    void dropGroup();
    void setEstablished(bool up);
    void say(const QString& text);

    std::unique_ptr<AvahiEventLoopPoll> poll_;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    std::optional<Announcement> wanted_;
    QString name_;
    bool established_ = false;
    bool said_ = false;
};

} // namespace velmora
