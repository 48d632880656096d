#include "vxi11/vxi11_protocol.h"

#include "vxi11/xdr.h"

namespace velmora::vxi11 {

namespace {

constexpr quint32 kMaxSrqHandle = 40;

// Arguments read whole, with nothing left over but padding-free XDR allows.
template <typename T> std::optional<T> Done(const XdrReader& in, T value) {
    if (in.failed()) return std::nullopt;
    return value;
}

} // namespace

std::optional<CreateLinkParms> ReadCreateLink(QByteArrayView args) {
    XdrReader in(args);
    CreateLinkParms p;
    p.clientId = in.i32().value_or(0);
    p.lockDevice = in.boolean().value_or(false);
    p.lockTimeoutMs = in.u32().value_or(0);
    p.device = in.opaque(kMaxDeviceName).value_or(QByteArray());
    return Done(in, p);
}

std::optional<WriteParms> ReadWrite(QByteArrayView args) {
    XdrReader in(args);
    WriteParms p;
    p.lid = in.i32().value_or(0);
    p.ioTimeoutMs = in.u32().value_or(0);
    p.lockTimeoutMs = in.u32().value_or(0);
    p.flags = in.i32().value_or(0);
    p.data = in.opaque(kMaxRecvSize).value_or(QByteArray());
    return Done(in, p);
}

std::optional<ReadParms> ReadRead(QByteArrayView args) {
    XdrReader in(args);
    ReadParms p;
    p.lid = in.i32().value_or(0);
    p.requestSize = in.u32().value_or(0);
    p.ioTimeoutMs = in.u32().value_or(0);
    p.lockTimeoutMs = in.u32().value_or(0);
    p.flags = in.i32().value_or(0);
    p.termChar = char(in.u32().value_or(0)); // an XDR char travels as a whole word
    return Done(in, p);
}

std::optional<GenericParms> ReadGeneric(QByteArrayView args) {
    XdrReader in(args);
    GenericParms p;
    p.lid = in.i32().value_or(0);
    p.flags = in.i32().value_or(0);
    p.lockTimeoutMs = in.u32().value_or(0);
    p.ioTimeoutMs = in.u32().value_or(0);
    return Done(in, p);
}

std::optional<LockParms> ReadLock(QByteArrayView args) {
    XdrReader in(args);
    LockParms p;
    p.lid = in.i32().value_or(0);
    p.flags = in.i32().value_or(0);
    p.lockTimeoutMs = in.u32().value_or(0);
    return Done(in, p);
}

std::optional<EnableSrqParms> ReadEnableSrq(QByteArrayView args) {
    XdrReader in(args);
    EnableSrqParms p;
    p.lid = in.i32().value_or(0);
    p.enable = in.boolean().value_or(false);
    p.handle = in.opaque(kMaxSrqHandle).value_or(QByteArray());
    return Done(in, p);
}

std::optional<qint32> ReadLinkId(QByteArrayView args) {
    XdrReader in(args);
    const auto lid = in.i32();
    return Done(in, lid.value_or(0));
}

std::optional<qint32> ReadDocmdLink(QByteArrayView args) {
    XdrReader in(args);
    const auto lid = in.i32();
    in.i32();                    // flags
    in.u32();                    // io_timeout
    in.u32();                    // lock_timeout
    in.i32();                    // cmd
    in.boolean();                // network_order
    in.i32();                    // datasize
    in.skipOpaque(kMaxRecvSize); // data_in
    return Done(in, lid.value_or(0));
}

QByteArray CreateLinkResult(DeviceError error, qint32 lid, quint16 abortPort, quint32 maxRecvSize) {
    XdrWriter out;
    out.i32(qint32(error)).i32(lid).u32(abortPort).u32(maxRecvSize);
    return out.bytes();
}

QByteArray WriteResult(DeviceError error, quint32 size) {
    XdrWriter out;
    out.i32(qint32(error)).u32(size);
    return out.bytes();
}

QByteArray ReadResult(DeviceError error, qint32 reasons, QByteArrayView data) {
    XdrWriter out;
    out.i32(qint32(error)).i32(reasons).opaque(data);
    return out.bytes();
}

QByteArray ReadStbResult(DeviceError error, quint8 stb) {
    XdrWriter out;
    out.i32(qint32(error)).u32(stb);
    return out.bytes();
}

QByteArray ErrorResult(DeviceError error) {
    XdrWriter out;
    out.i32(qint32(error));
    return out.bytes();
}

QByteArray DocmdResult(DeviceError error) {
    XdrWriter out;
    out.i32(qint32(error)).opaque({});
    return out.bytes();
}

QByteArray ResultWithError(Proc proc, DeviceError error) {
    switch (proc) {
    case Proc::CreateLink:
        return CreateLinkResult(error, 0, 0, 0);
    case Proc::DeviceWrite:
        return WriteResult(error, 0);
    case Proc::DeviceRead:
        return ReadResult(error, 0, {});
    case Proc::DeviceReadStb:
        return ReadStbResult(error, 0);
    case Proc::DeviceDocmd:
        return DocmdResult(error);
    default:
        return ErrorResult(error);
    }
}

} // namespace velmora::vxi11
