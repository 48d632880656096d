#include "remote/remote_settings.h"

#include "core/settings_store.h"
#include "vxi11/lan_presence.h"

#include <QStringList>

namespace velmora {

bool AllowedNetworks::allows(const QHostAddress& peer) const {
    if (peer.isLoopback()) return true;
    // An IPv4 client on a socket listening for both comes as ::ffff:a.b.c.d.
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    const QHostAddress plain = mapped ? QHostAddress(v4) : peer;
    for (const auto& [network, prefix] : networks)
        if (plain.isInSubnet(network, prefix)) return true;
    return false;
}

std::optional<AllowedNetworks> ParseAllowFrom(const QString& text, QString* error) {
    AllowedNetworks allowed;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        const QString item = part.trimmed();
        if (item.isEmpty()) continue;
        QPair<QHostAddress, int> network = QHostAddress::parseSubnet(item);
        if (!item.contains(u'/')) {
            const QHostAddress address(item);
            network = {address, address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        }
        if (network.first.isNull()) {
            if (error) *error = QStringLiteral("\"%1\" is no address or network").arg(item);
            return std::nullopt;
        }
        allowed.networks.append(network);
    }
    return allowed;
}

std::optional<QPair<QHostAddress, quint16>> ParseListenPlace(const QString& text) {
    QString address = QStringLiteral("127.0.0.1");
    QString port = text.trimmed();
    const qsizetype colon = port.lastIndexOf(u':');
    if (colon >= 0) {
        address = port.left(colon);
        port = port.mid(colon + 1);
        if (address.startsWith(u'[') && address.endsWith(u']')) address = address.mid(1).chopped(1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    QHostAddress host(address);
    // "::" on its own would listen for IPv6 clients only; every client
    // expects it to mean every address, IPv4 loopback included.
    if (host == QHostAddress(QHostAddress::AnyIPv6)) host = QHostAddress(QHostAddress::Any);
    if (!ok || number < 1 || number > 65535 || host.isNull() || port.startsWith(u'+'))
        return std::nullopt;
    return QPair<QHostAddress, quint16>{host, quint16(number)};
}

QString ListenPlaceText(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return host + u':' + QString::number(port);
}

RemoteSettings LoadRemoteSettings(const SettingsStore& store, QStringList* problems) {
    const QString group = QStringLiteral("Remote");
    RemoteSettings s = ReadRemoteSettings(store.text(group, QStringLiteral("Enabled")),
                                          store.text(group, QStringLiteral("Address")),
                                          store.text(group, QStringLiteral("Port")),
                                          store.text(group, QStringLiteral("AllowFrom")), problems);
    QString problem;
    s.vxi11 = vxi11::ReadVxi11Setting(store.text(group, QStringLiteral("VXI11")), &problem);
    if (!problem.isEmpty() && problems) problems->append(problem);
    return s;
}

bool SaveRemoteSettings(SettingsStore& store, const RemoteSettings& s) {
    return store.saveTexts(
        QStringLiteral("Remote"),
        {{QStringLiteral("Enabled"), s.enabled ? QStringLiteral("true") : QStringLiteral("false")},
         {QStringLiteral("Address"), s.address.toString()},
         {QStringLiteral("Port"), QString::number(s.port)},
         {QStringLiteral("AllowFrom"), s.allowFrom}});
}

RemoteSettings RemoteSettingsForRun(const SettingsStore& store, const QString& remoteArgument,
                                    bool headless, QStringList* problems) {
    RemoteSettings s = LoadRemoteSettings(store, problems);
    if (headless && store.text(QStringLiteral("Remote"), QStringLiteral("Enabled")) != "false")
        s.enabled = true;
    if (const auto place = ParseListenPlace(remoteArgument)) {
        s.enabled = true;
        s.address = place->first;
        s.port = place->second;
    }
    return s;
}

QString RemoteArgumentProblem(const QString& remoteArgument) {
    if (remoteArgument.isEmpty() || ParseListenPlace(remoteArgument)) return {};
    return QStringLiteral("--remote takes [ADDRESS:]PORT, such as 5025 or 0.0.0.0:5025, not '%1'")
        .arg(remoteArgument);
}

RemoteSettings ReadRemoteSettings(const QString& enabled, const QString& address,
                                  const QString& port, const QString& allowFrom,
                                  QStringList* problems) {
    RemoteSettings s;
    const auto problem = [problems](const QString& text) {
        if (problems) problems->append(text);
    };
    if (enabled == QStringLiteral("true"))
        s.enabled = true;
    else if (!enabled.isEmpty() && enabled != QStringLiteral("false"))
        problem(QStringLiteral("Enabled=%1 is neither true nor false").arg(enabled));
    if (!address.isEmpty()) {
        if (const auto place = ParseListenPlace(QStringLiteral("[%1]:1").arg(address)))
            s.address = place->first;
        else
            problem(QStringLiteral("Address=%1 is no address; listening on %2")
                        .arg(address, s.address.toString()));
    }
    if (!port.isEmpty()) {
        const auto place = ParseListenPlace(port);
        if (!place || port.contains(u':'))
            problem(QStringLiteral("Port=%1 is no port number from 1 to 65535; listening on %2")
                        .arg(port)
                        .arg(s.port));
        else
            s.port = place->second;
    }
    // A bad entry is left out on its own: the others still let their
    // clients in.
    s.allowFrom = allowFrom;
    for (const QString& part : allowFrom.split(u',', Qt::SkipEmptyParts)) {
        QString error;
        if (const auto allowed = ParseAllowFrom(part, &error))
            s.allowed.networks += allowed->networks;
        else
            problem(QStringLiteral("AllowFrom: %1, left out").arg(error));
    }
    return s;
}

} // namespace velmora
