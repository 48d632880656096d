#include "vxi11/rpcbind_messages.h"

#include "vxi11/xdr.h"

namespace velmora::vxi11 {

QByteArray UniversalAddress(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv4Protocol
                             ? address.toString()
                             : QStringLiteral("0.0.0.0");
    return QStringLiteral("%1.%2.%3").arg(host).arg(port >> 8).arg(port & 0xff).toLatin1();
}

QByteArray RpcbArgs(quint32 program, quint32 version, const QByteArray& universalAddress,
                    const QByteArray& owner) {
    XdrWriter out;
    out.u32(program).u32(version).opaque("tcp").opaque(universalAddress).opaque(owner);
    return out.bytes();
}

QByteArray PmapArgs(quint32 program, quint32 version, quint16 port) {
    XdrWriter out;
    out.u32(program).u32(version).u32(kProtocolTcp).u32(port);
    return out.bytes();
}

std::optional<bool> ReadBoolean(const QByteArray& results) {
    XdrReader in(results);
    return in.boolean();
}

} // namespace velmora::vxi11
