#pragma once
// The calls that register a program with rpcbind, as bytes: RPCBPROC_SET and
// _UNSET (version 4) over rpcbind's local socket, and PMAPPROC_SET and
// _UNSET (portmap version 2) over TCP port 111 for an rpcbind without one.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <optional>

namespace velmora::vxi11 {

inline constexpr quint32 kRpcbindProgram = 100000;
inline constexpr quint32 kRpcbindVersion = 4;
inline constexpr quint32 kPortmapVersion = 2;
inline constexpr quint32 kProcSet = 1;
inline constexpr quint32 kProcUnset = 2;
inline constexpr quint32 kProtocolTcp = 6;

/// "0.0.0.0.19.197" for any IPv4 address at port 5061: rpcbind's form.
QByteArray UniversalAddress(const QHostAddress& address, quint16 port);
/// The rpcb structure: program, version, "tcp", the address and the owner.
QByteArray RpcbArgs(quint32 program, quint32 version, const QByteArray& universalAddress,
                    const QByteArray& owner);
/// The portmap mapping: program, version, TCP, port.
QByteArray PmapArgs(quint32 program, quint32 version, quint16 port);
/// The boolean a SET or UNSET answers.
std::optional<bool> ReadBoolean(const QByteArray& results);

} // namespace velmora::vxi11
