#pragma once
// ONC RPC version 2 call and reply messages (RFC 5531) as bytes: a server
// reads calls and writes replies, a client (the rpcbind registration) the
// other way round. Any credential is accepted, as instruments do; replies
// carry an empty AUTH_NONE verifier.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace velmora::vxi11 {

enum class AcceptStat : quint32 {
    Success = 0,
    ProgUnavail = 1,
    ProgMismatch = 2,
    ProcUnavail = 3,
    GarbageArgs = 4,
    SystemErr = 5,
};

/// A call as read from a record.
struct RpcCall {
    quint32 xid = 0;
    quint32 program = 0;
    quint32 version = 0;
    quint32 procedure = 0;
    QByteArray args; // the procedure's arguments, still in XDR
};

/// What a record turned out to be.
struct ParsedCall {
    enum Kind {
        Call,            // a call to dispatch
        WrongRpcVersion, // a call of another RPC version: answered RPC_MISMATCH
        NotACall,        // a reply, a cut header or garbage: nothing to answer
    } kind = NotACall;
    RpcCall call; // xid always set when kind != NotACall
};

ParsedCall ParseCall(QByteArrayView record);
/// Whether the start of a record can still be a call of RPC version 2 (its
/// message type and version, when there, say so).
bool MayBeCall(QByteArrayView head);

/// Replies, without record marking.
QByteArray SuccessReply(quint32 xid, QByteArrayView results);
QByteArray ErrorReply(quint32 xid, AcceptStat stat); // not for ProgMismatch
QByteArray ProgMismatchReply(quint32 xid, quint32 low, quint32 high);
QByteArray RpcMismatchReply(quint32 xid);

/// A call with AUTH_NONE credentials, without record marking.
QByteArray EncodeCall(quint32 xid, quint32 program, quint32 version, quint32 procedure,
                      QByteArrayView args);
/// The results of a successful reply to call `xid`; nothing for any other
/// record (another xid, a denied or failed call, garbage).
std::optional<QByteArray> ParseSuccessReply(QByteArrayView record, quint32 xid);

} // namespace velmora::vxi11
