#pragma once
// Where remote control listens and whom it lets in: the settings group
// "Remote" (Enabled, Address, Port, AllowFrom) and `--remote [ADDRESS:]PORT`.

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace velmora {

/// The networks a client may come from; loopback always may.
struct AllowedNetworks {
    QList<QPair<QHostAddress, int>> networks; // address and prefix length
    /// Whether a client at `peer` may stay.
    bool allows(const QHostAddress& peer) const;
};

/// "192.168.1.0/24, 10.0.0.7": addresses and networks, separated by commas;
/// nothing with `error` set for any other text. Empty text allows none but
/// loopback.
std::optional<AllowedNetworks> ParseAllowFrom(const QString& text, QString* error = nullptr);

/// What remote control is set to.
struct RemoteSettings {
    bool enabled = false;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 5025;
    QString allowFrom; // as typed
    AllowedNetworks allowed;
    bool vxi11 = true; // VXI-11 beside the raw socket ("VXI11")
    friend bool operator==(const RemoteSettings& a, const RemoteSettings& b) {
        return a.enabled == b.enabled && a.address == b.address && a.port == b.port &&
               a.allowFrom == b.allowFrom && a.vxi11 == b.vxi11;
    }
};

/// "5025", "127.0.0.1:5025", "0.0.0.0:5025", "[::1]:5025": where to listen;
/// the address is loopback when not given, and "::" every address, IPv4
/// and IPv6. Nothing for any other text.
std::optional<QPair<QHostAddress, quint16>> ParseListenPlace(const QString& text);

/// "127.0.0.1:5025", "[::1]:5025".
QString ListenPlaceText(const QHostAddress& address, quint16 port);

/// The stored group's texts read into settings: a value that cannot be read
/// keeps its default (off, 127.0.0.1, 5025), an entry of AllowFrom that
/// cannot be read is left out, and `problems` says which, one text each.
RemoteSettings ReadRemoteSettings(const QString& enabled, const QString& address,
                                  const QString& port, const QString& allowFrom,
                                  QStringList* problems = nullptr);

class SettingsStore;

/// The settings as stored in the group "Remote".
RemoteSettings LoadRemoteSettings(const SettingsStore& store, QStringList* problems = nullptr);
/// Stores them in the group "Remote"; false when the file cannot be written.
bool SaveRemoteSettings(SettingsStore& store, const RemoteSettings& settings);

/// What this run listens with: the stored settings, turned on by `--remote`
/// ([ADDRESS:]PORT, given as `remoteArgument` and found readable by
/// RemoteArgumentProblem beforehand) or by running headless (on loopback unless the settings say
/// otherwise; an explicit Enabled=false keeps it off).
RemoteSettings RemoteSettingsForRun(const SettingsStore& store, const QString& remoteArgument,
                                    bool headless, QStringList* problems = nullptr);

/// Why `--remote`'s argument cannot be read; empty when it can (or is empty).
QString RemoteArgumentProblem(const QString& remoteArgument);

} // namespace velmora
