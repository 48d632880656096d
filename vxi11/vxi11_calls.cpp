// The VXI-11 procedures: each reads its arguments, checks its link and the
// lock, and gives its reply or, to wait, nothing with its deadline set.

#include "vxi11/server_parts.h"

namespace velmora::vxi11 {

namespace {

constexpr qsizetype kMaxPendingInput = 64 * 1024; // written, not yet taken as lines
constexpr quint8 kMessageAvailable = 0x10;

QByteArray Ok(const RpcCall& call, const QByteArray& results) {
    return SuccessReply(call.xid, results);
}

QByteArray Failed(const RpcCall& call, DeviceError error) {
    return SuccessReply(call.xid, ResultWithError(Proc(call.procedure), error));
}

QByteArray Garbage(const RpcCall& call) {
    return ErrorReply(call.xid, AcceptStat::GarbageArgs);
}

qint64 Deadline(const auto& job, quint32 ms) {
    return job.startNs + qint64(ms) * kNsPerMs;
}

} // namespace

Server::Reply Server::dispatch(Connection& connection, Job& job) {
    const RpcCall& call = job.call;
    if (call.program != kCoreProgram && call.program != kAbortProgram)
        return ErrorReply(call.xid, AcceptStat::ProgUnavail);
    if (call.version != kVersion) return ProgMismatchReply(call.xid, kVersion, kVersion);
    if (call.procedure == 0) return SuccessReply(call.xid, {}); // the null procedure: a ping
    if (call.program == kAbortProgram) {
        if (call.procedure == quint32(Proc::AbortDevice)) return abort(call);
        return ErrorReply(call.xid, AcceptStat::ProcUnavail);
    }
    switch (Proc(call.procedure)) {
    case Proc::CreateLink:
        return createLink(connection, job);
    case Proc::DeviceWrite:
        return deviceWrite(job);
    case Proc::DeviceRead:
        return deviceRead(job);
    case Proc::DeviceReadStb:
    case Proc::DeviceTrigger:
    case Proc::DeviceClear:
    case Proc::DeviceRemote:
    case Proc::DeviceLocal:
        return generic(job);
    case Proc::DeviceLock:
        return deviceLock(job);
    case Proc::DeviceUnlock:
        return deviceUnlock(call);
    case Proc::DeviceEnableSrq:
        return enableSrq(call);
    case Proc::DeviceDocmd:
        return docmd(call);
    case Proc::DestroyLink:
        return destroyLinkCall(call);
    // There is no interrupt channel: service requests are read by polling.
    case Proc::CreateIntrChan:
        return Ok(call, ErrorResult(DeviceError::NotSupported));
    case Proc::DestroyIntrChan:
        return Ok(call, ErrorResult(DeviceError::ChannelNotEstablished));
    default:
        return ErrorReply(call.xid, AcceptStat::ProcUnavail);
    }
}

bool Server::lockAllows(Job& job, qint32 lid, qint32 callFlags, quint32 lockTimeoutMs,
                        Reply& reply) {
    if (lockHolder_ == 0 || lockHolder_ == lid) return true;
    const qint64 deadline = Deadline(job, lockTimeoutMs);
    if ((callFlags & flags::kWaitLock) && clock_.monotonicNs() < deadline) {
        job.deadlineNs = deadline;
        job.lid = lid;
    } else {
        reply = Failed(job.call, DeviceError::LockedByAnother);
    }
    return false;
}

Server::Reply Server::createLink(Connection& connection, Job& job) {
    const auto p = ReadCreateLink(job.call.args);
    if (!p) return Garbage(job.call);
    if (int(links_.size()) >= kMaxLinks) return Failed(job.call, DeviceError::OutOfResources);
    if (p->lockDevice && lockHolder_ != 0) {
        job.deadlineNs = Deadline(job, p->lockTimeoutMs);
        if (clock_.monotonicNs() < job.deadlineNs) return std::nullopt;
        return Failed(job.call, DeviceError::LockedByAnother);
    }
    QString refusal;
    std::unique_ptr<Conversation> conversation =
        factory_(connection.socket->peerAddress(), &refusal);
    if (!conversation) {
        emit news(QStringLiteral("VXI-11 client %1 refused: %2").arg(connection.peer, refusal));
        return Failed(job.call, DeviceError::OutOfResources);
    }
    auto made = std::make_unique<Link>();
    const qint32 lid = nextLid_++;
    made->lid = lid;
    made->connection = connection.id;
    made->peer = connection.peer;
    made->conversation = std::move(conversation);
    connect(made->conversation.get(), &Conversation::answer, this,
            [this, lid](const QByteArray& line) {
                Link* to = link(lid);
                if (!to) return;
                to->answers.push(line);
                if (to->answers.bytes() > kMaxUnreadBytes) {
                    to->answers.clear();
                    if (const auto it = connections_.find(to->connection); it != connections_.end())
                        dropLater(*it->second,
                                  QStringLiteral("disconnected: 64 KiB of answers left unread"));
                }
                kick();
            });
    connect(made->conversation.get(), &Conversation::ready, this, &Server::kick);
    links_.emplace(lid, std::move(made));
    if (p->lockDevice) lockHolder_ = lid;
    emit news(QStringLiteral("VXI-11 client %1 connected (link %2)").arg(connection.peer).arg(lid));
    emit changed();
    return Ok(job.call, CreateLinkResult(DeviceError::None, lid, port(), kMaxRecvSize));
}

Server::Reply Server::deviceWrite(Job& job) {
    const auto p = ReadWrite(job.call.args);
    if (!p) return Garbage(job.call);
    Link* to = link(p->lid);
    if (!to) return Failed(job.call, DeviceError::InvalidLink);
    Reply refused;
    if (!lockAllows(job, p->lid, p->flags, p->lockTimeoutMs, refused)) return refused;
    // A conversation held up by *OPC? takes no more lines; its input is
    // bounded as an instrument's is, and the writer waits for room.
    if (to->input.Pending() >= kMaxPendingInput) {
        job.deadlineNs = Deadline(job, p->ioTimeoutMs);
        job.lid = p->lid;
        if (clock_.monotonicNs() < job.deadlineNs) return std::nullopt;
        return Failed(job.call, DeviceError::IoTimeout);
    }
    to->input.Append(p->data);
    if (!p->data.isEmpty()) to->lineOpen = !p->data.endsWith('\n');
    if ((p->flags & flags::kEnd) && to->lineOpen) {
        to->input.Append("\n"); // END ends a line as LF does
        to->lineOpen = false;
    }
    int budget = 256;
    pump(*to, budget);
    if (budget <= 0) kick();
    return Ok(job.call, WriteResult(DeviceError::None, quint32(p->data.size())));
}

Server::Reply Server::deviceRead(Job& job) {
    const auto p = ReadRead(job.call.args);
    if (!p) return Garbage(job.call);
    Link* from = link(p->lid);
    if (!from) return Failed(job.call, DeviceError::InvalidLink);
    Reply refused;
    if (!lockAllows(job, p->lid, p->flags, p->lockTimeoutMs, refused)) return refused;
    if (p->requestSize == 0)
        return Ok(job.call, ReadResult(DeviceError::None, reason::kRequestCount, {}));
    if (!from->answers.empty()) {
        const ReadOut out =
            from->answers.take(p->requestSize, p->flags & flags::kTermCharSet, p->termChar);
        return Ok(job.call, ReadResult(DeviceError::None, out.reasons, out.data));
    }
    job.deadlineNs = Deadline(job, p->ioTimeoutMs);
    job.lid = p->lid;
    if (clock_.monotonicNs() < job.deadlineNs) return std::nullopt;
    return Failed(job.call, DeviceError::IoTimeout);
}

Server::Reply Server::generic(Job& job) {
    const auto p = ReadGeneric(job.call.args);
    if (!p) return Garbage(job.call);
    Link* to = link(p->lid);
    if (!to) return Failed(job.call, DeviceError::InvalidLink);
    Reply refused;
    if (!lockAllows(job, p->lid, p->flags, p->lockTimeoutMs, refused)) return refused;
    switch (Proc(job.call.procedure)) {
    case Proc::DeviceReadStb: {
        const quint8 stb =
            to->conversation->statusByte() | (to->answers.empty() ? 0 : kMessageAvailable);
        return Ok(job.call, ReadStbResult(DeviceError::None, stb));
    }
    case Proc::DeviceClear:
        to->answers.clear();
        to->input = scpi::LineReader();
        to->lineOpen = false;
        return Ok(job.call, ErrorResult(DeviceError::None));
    case Proc::DeviceTrigger: // the unit has nothing to trigger
        return Ok(job.call, ErrorResult(DeviceError::NotSupported));
    default: // remote and local: the unit has no front panel to lock out
        return Ok(job.call, ErrorResult(DeviceError::None));
    }
}

// The lock is one, exclusive and not nested: a link that holds it asking
// again is refused as any other, as the device is locked (by itself).
Server::Reply Server::deviceLock(Job& job) {
    const auto p = ReadLock(job.call.args);
    if (!p) return Garbage(job.call);
    if (!link(p->lid)) return Failed(job.call, DeviceError::InvalidLink);
    if (lockHolder_ == p->lid) return Failed(job.call, DeviceError::LockedByAnother);
    Reply refused;
    if (!lockAllows(job, p->lid, p->flags, p->lockTimeoutMs, refused)) return refused;
    lockHolder_ = p->lid;
    return Ok(job.call, ErrorResult(DeviceError::None));
}

Server::Reply Server::deviceUnlock(const RpcCall& call) {
    const auto lid = ReadLinkId(call.args);
    if (!lid) return Garbage(call);
    if (!link(*lid)) return Failed(call, DeviceError::InvalidLink);
    if (lockHolder_ != *lid) return Failed(call, DeviceError::NoLockHeld);
    lockHolder_ = 0;
    kick();
    return Ok(call, ErrorResult(DeviceError::None));
}

Server::Reply Server::destroyLinkCall(const RpcCall& call) {
    const auto lid = ReadLinkId(call.args);
    if (!lid) return Garbage(call);
    Link* gone = link(*lid);
    if (!gone) return Failed(call, DeviceError::InvalidLink);
    emit news(QStringLiteral("VXI-11 client %1 closed link %2").arg(gone->peer).arg(*lid));
    destroyLink(*lid);
    return Ok(call, ErrorResult(DeviceError::None));
}

// Accepted, though without an interrupt channel no request is ever sent.
Server::Reply Server::enableSrq(const RpcCall& call) {
    const auto p = ReadEnableSrq(call.args);
    if (!p) return Garbage(call);
    if (!link(p->lid)) return Failed(call, DeviceError::InvalidLink);
    return Ok(call, ErrorResult(DeviceError::None));
}

Server::Reply Server::docmd(const RpcCall& call) {
    const auto lid = ReadDocmdLink(call.args);
    if (!lid) return Garbage(call);
    if (!link(*lid)) return Failed(call, DeviceError::InvalidLink);
    return Ok(call, DocmdResult(DeviceError::NotSupported));
}

// On the abort channel: ends the call its link is waiting in (a read for its
// answer, a call for the lock) with error 23.
Server::Reply Server::abort(const RpcCall& call) {
    const auto lid = ReadLinkId(call.args);
    if (!lid) return Garbage(call);
    if (!link(*lid)) return Failed(call, DeviceError::InvalidLink);
    for (auto& [id, connection] : connections_) {
        Job* job = connection->job ? &*connection->job : nullptr;
        if (!job || job->lid != *lid || job->call.program != kCoreProgram) continue;
        const QByteArray reply = Failed(job->call, DeviceError::Abort);
        QMetaObject::invokeMethod(
            this,
            [this, id = id, xid = job->call.xid, reply] {
                const auto it = connections_.find(id);
                if (it != connections_.end() && it->second->job && it->second->job->call.xid == xid)
                    finishJob(*it->second, reply);
            },
            Qt::QueuedConnection);
    }
    return Ok(call, ErrorResult(DeviceError::None));
}

} // namespace velmora::vxi11
