#pragma once
// The server's own records of its links, connections and calls in
// progress, shared by its two source files.

#include "core/clock.h"
#include "scpi/scpi_line.h"
#include "vxi11/answer_queue.h"
#include "vxi11/conversation.h"
#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/vxi11_protocol.h"
#include "vxi11/vxi11_server.h"

#include <QTcpSocket>
#include <optional>

namespace velmora::vxi11 {

/// One link: its conversation, the bytes written to it not yet taken as
/// lines, and the answers not yet read.
struct Server::Link {
    qint32 lid = 0;
    quint64 connection = 0;
    QString peer;
    std::unique_ptr<Conversation> conversation;
    scpi::LineReader input;
    bool lineOpen = false; // the bytes written so far end inside a line
    AnswerQueue answers;
};

/// A call being served; it may wait for the lock, for an answer or for
/// room in its link's input, each until its own deadline.
struct Server::Job {
    RpcCall call;
    qint64 startNs = 0;
    qint64 deadlineNs = 0; // when waiting: the moment it gives up
    qint32 lid = 0;        // when waiting on a link: which one (for abort)
};

/// One TCP connection: records in, replies out, one call at a time.
struct Server::Connection {
    quint64 id = 0;
    QTcpSocket* socket = nullptr;
    QString peer;
    RecordReader records{qsizetype(kMaxRecvSize) + 2048};
    std::optional<Job> job;
    std::unique_ptr<Timer> jobTimer;
    bool closing = false;
};

} // namespace velmora::vxi11
