#include "vxi11/lan_presence.h"

#include <QHostInfo>

namespace velmora::vxi11 {

bool ReadVxi11Setting(const QString& text, QString* problem) {
    if (text.isEmpty() || text == QStringLiteral("true")) return true;
    if (text == QStringLiteral("false")) return false;
    if (problem) *problem = QStringLiteral("VXI11=%1 is neither true nor false").arg(text);
    return true;
}

LanPresence::LanPresence(Clock& clock, ConversationFactory factory, QObject* parent)
    : QObject(parent), server_(clock, std::move(factory)), registration_(clock), announcer_(clock) {
    connect(&server_, &Server::news, this, &LanPresence::news);
    connect(&registration_, &RpcbindRegistration::unavailable, this, &LanPresence::problem);
    connect(&announcer_, &Announcer::unavailable, this, &LanPresence::problem);
}

void LanPresence::listening(const QHostAddress& address, quint16 socketPort,
                            const LanOptions& options) {
    if (!options.vxi11) {
        server_.close();
        registration_.unset();
    } else if (!server_.listening() || address != address_) {
        QString error;
        if (server_.listen(address, 0, &error))
            registration_.set(address, server_.port());
        else
            emit news(QStringLiteral("VXI-11 cannot listen: %1").arg(error));
    }
    address_ = address;
    if (!ShouldAnnounce(address)) return announcer_.withdraw();
    const QString name = options.serviceName.isEmpty()
                             ? DefaultServiceName(QHostInfo::localHostName())
                             : options.serviceName;
    announcer_.announce(
        {name, socketPort, options.vxi11 && server_.listening(), options.models, options.version});
}

void LanPresence::stopped() {
    server_.close();
    registration_.unset();
    announcer_.withdraw();
}

} // namespace velmora::vxi11
