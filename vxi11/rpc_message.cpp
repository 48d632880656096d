#include "vxi11/rpc_message.h"

#include "vxi11/xdr.h"

namespace velmora::vxi11 {

namespace {

constexpr quint32 kCall = 0, kReply = 1;
constexpr quint32 kAccepted = 0, kDenied = 1;
constexpr quint32 kRpcVersion = 2;
constexpr quint32 kAuthNone = 0;
constexpr quint32 kRpcMismatch = 0;
constexpr quint32 kMaxAuthBody = 400; // the RFC's bound on a credential's body

XdrWriter AcceptedHeader(quint32 xid, AcceptStat stat) {
    XdrWriter out;
    out.u32(xid).u32(kReply).u32(kAccepted).u32(kAuthNone).u32(0).u32(quint32(stat));
    return out;
}

} // namespace

ParsedCall ParseCall(QByteArrayView record) {
    ParsedCall parsed;
    XdrReader in(record);
    const auto xid = in.u32();
    const auto type = in.u32();
    const auto rpcVersion = in.u32();
    if (!xid || !type || *type != kCall || !rpcVersion) return parsed;
    parsed.call.xid = *xid;
    if (*rpcVersion != kRpcVersion) {
        parsed.kind = ParsedCall::WrongRpcVersion;
        return parsed;
    }
    const auto program = in.u32();
    const auto version = in.u32();
    const auto procedure = in.u32();
    in.u32(); // credential flavour: any is taken
    in.skipOpaque(kMaxAuthBody);
    in.u32(); // verifier flavour
    in.skipOpaque(kMaxAuthBody);
    if (in.failed()) return parsed;
    parsed.kind = ParsedCall::Call;
    parsed.call.program = *program;
    parsed.call.version = *version;
    parsed.call.procedure = *procedure;
    parsed.call.args = record.sliced(in.position()).toByteArray();
    return parsed;
}

bool MayBeCall(QByteArrayView head) {
    XdrReader in(head);
    in.u32();
    const auto type = in.u32();
    const auto version = in.u32();
    return (!type || *type == kCall) && (!version || *version == kRpcVersion);
}

QByteArray SuccessReply(quint32 xid, QByteArrayView results) {
    QByteArray out = AcceptedHeader(xid, AcceptStat::Success).bytes();
    out.append(results.data(), results.size());
    return out;
}

QByteArray ErrorReply(quint32 xid, AcceptStat stat) {
    return AcceptedHeader(xid, stat).bytes();
}

QByteArray ProgMismatchReply(quint32 xid, quint32 low, quint32 high) {
    return AcceptedHeader(xid, AcceptStat::ProgMismatch).u32(low).u32(high).bytes();
}

QByteArray RpcMismatchReply(quint32 xid) {
    XdrWriter out;
    out.u32(xid).u32(kReply).u32(kDenied).u32(kRpcMismatch).u32(kRpcVersion).u32(kRpcVersion);
    return out.bytes();
}

QByteArray EncodeCall(quint32 xid, quint32 program, quint32 version, quint32 procedure,
                      QByteArrayView args) {
    XdrWriter out;
    out.u32(xid).u32(kCall).u32(kRpcVersion).u32(program).u32(version).u32(procedure);
    out.u32(kAuthNone).u32(0).u32(kAuthNone).u32(0);
    QByteArray bytes = out.bytes();
    bytes.append(args.data(), args.size());
    return bytes;
}

std::optional<QByteArray> ParseSuccessReply(QByteArrayView record, quint32 xid) {
    XdrReader in(record);
    if (in.u32() != xid || in.u32() != kReply || in.u32() != kAccepted) return std::nullopt;
    in.u32();
    in.skipOpaque(kMaxAuthBody);
    if (in.u32() != quint32(AcceptStat::Success) || in.failed()) return std::nullopt;
    return record.sliced(in.position()).toByteArray();
}

} // namespace velmora::vxi11
