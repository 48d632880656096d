#include "announce/announcer.h"

#include "announce/avahi_poll.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

namespace velmora {

namespace {
constexpr quint16 kRpcbindPort = 111; // where VXI-11 clients look the program up
}

struct AvahiCallbacks {
    static void client(AvahiClient* client, AvahiClientState state, void* self) {
        static_cast<Announcer*>(self)->clientEvent(client, state);
    }
    static void group(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
        static_cast<Announcer*>(self)->groupEvent(group, state);
    }
};

QByteArrayList AnnouncementTxt(const Announcement& a) {
    QByteArrayList txt{"manufacturer=Velmora"};
    if (!a.models.isEmpty()) txt.append("model=" + a.models.join(QStringLiteral("; ")).toUtf8());
    txt.append("version=" + a.version.toUtf8());
    return txt;
}

bool ShouldAnnounce(const QHostAddress& address) {
    return !address.isLoopback() && !address.isNull();
}

QString DefaultServiceName(const QString& hostName) {
    // Avahi takes at most 63 bytes for a name.
    return QStringLiteral("Velmora (%1)").arg(hostName.left(50));
}

Announcer::Announcer(Clock& clock, QObject* parent)
    : QObject(parent), poll_(std::make_unique<AvahiEventLoopPoll>(clock)) {}

Announcer::~Announcer() {
    dropGroup();
    if (client_) avahi_client_free(client_);
}

void Announcer::announce(const Announcement& announcement) {
    if (wanted_ == announcement) return;
    wanted_ = announcement;
    name_ = announcement.name;
    dropGroup();
    if (!client_ && !connectClient()) return;
    // A client made just now may have published already, from its first event.
    if (!group_ && avahi_client_get_state(client_) == AVAHI_CLIENT_S_RUNNING) publish();
}

void Announcer::withdraw() {
    wanted_.reset();
    dropGroup();
}

// The client follows the daemon: without one it waits for it to appear.
bool Announcer::connectClient() {
    int error = 0;
    client_ = avahi_client_new(poll_->poll(), AVAHI_CLIENT_NO_FAIL, &AvahiCallbacks::client, this,
                               &error);
    if (client_) return true;
    say(QStringLiteral("Avahi is not reachable (%1): the program is not announced on the "
                       "network; remote control works as before")
            .arg(QString::fromUtf8(avahi_strerror(error))));
    return false;
}

void Announcer::clientEvent(AvahiClient* client, int state) {
    if (!client_) client_ = client; // the first event comes inside avahi_client_new
    switch (AvahiClientState(state)) {
    case AVAHI_CLIENT_S_RUNNING:
        if (wanted_ && !group_) publish();
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        dropGroup();
        break;
    case AVAHI_CLIENT_CONNECTING:
        say(QStringLiteral("the Avahi daemon is not running: the program is not announced "
                           "on the network until it starts; remote control works as before"));
        dropGroup();
        break;
    case AVAHI_CLIENT_FAILURE:
        say(QStringLiteral("Avahi failed (%1): the program is not announced on the network")
                .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
        dropGroup();
        break;
    }
}

void Announcer::publish() {
    if (!wanted_ || !client_) return;
    if (!group_) group_ = avahi_entry_group_new(client_, &AvahiCallbacks::group, this);
    if (!group_)
        return say(QStringLiteral("Avahi refused an announcement: %1")
                       .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(client_)))));
    AvahiStringList* txt = nullptr;
    for (const QByteArray& item : AnnouncementTxt(*wanted_))
        txt = avahi_string_list_add(txt, item.constData());
    const QByteArray name = name_.toUtf8();
    int result = avahi_entry_group_add_service_strlst(
        group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.constData(),
        "_scpi-raw._tcp", nullptr, nullptr, wanted_->socketPort, txt);
    if (result >= 0 && wanted_->vxi11)
        result = avahi_entry_group_add_service_strlst(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.constData(),
            "_vxi-11._tcp", nullptr, nullptr, kRpcbindPort, txt);
    avahi_string_list_free(txt);
    if (result == AVAHI_ERR_COLLISION) {
        char* other = avahi_alternative_service_name(name.constData());
        name_ = QString::fromUtf8(other);
        avahi_free(other);
        avahi_entry_group_reset(group_);
        return publish();
    }
    if (result >= 0) result = avahi_entry_group_commit(group_);
    if (result < 0)
        say(QStringLiteral("Avahi refused the announcement: %1")
                .arg(QString::fromUtf8(avahi_strerror(result))));
}

void Announcer::groupEvent(AvahiEntryGroup* group, int state) {
    if (group != group_) return;
    switch (AvahiEntryGroupState(state)) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        setEstablished(true);
        break;
    case AVAHI_ENTRY_GROUP_COLLISION: {
        // Another machine has the name: the next free one, "Velmora (pc) #2".
        char* other = avahi_alternative_service_name(name_.toUtf8().constData());
        name_ = QString::fromUtf8(other);
        avahi_free(other);
        avahi_entry_group_reset(group);
        setEstablished(false);
        publish();
        break;
    }
    case AVAHI_ENTRY_GROUP_FAILURE:
        setEstablished(false);
        say(QStringLiteral("Avahi dropped the announcement: %1")
                .arg(QString::fromUtf8(
                    avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))))));
        break;
    default:
        break;
    }
}

void Announcer::dropGroup() {
    if (group_) {
        avahi_entry_group_free(group_);
        group_ = nullptr;
    }
    setEstablished(false);
}

void Announcer::setEstablished(bool up) {
    if (established_ == up) return;
    established_ = up;
    emit changed(up);
}

void Announcer::say(const QString& text) {
    if (said_) return;
    said_ = true;
    emit unavailable(text);
}

} // namespace velmora
