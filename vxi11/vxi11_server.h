#pragma once
// The VXI-11 core channel (and its abort channel, on the same port): ONC
// RPC over TCP, each link one conversation in the command language. It runs
// in the event loop; every wait (a read for its answer, a call for the lock)
// is a timer, and each turn handles a bounded amount of a client's bytes.

#include "core/clock.h"
#include "vxi11/conversation.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <map>
#include <memory>

class QTcpSocket;

namespace velmora::vxi11 {

struct RpcCall;

/// Serves VXI-11 on one TCP port. At most kMaxConnections connections
/// (more are closed at once) and kMaxLinks links; a connection's links go
/// with it; a link that leaves kMaxUnreadBytes of answers unread loses its
/// connection, as a socket client does.
class Server : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxConnections = 32;
    static constexpr int kMaxLinks = 64;
    static constexpr qsizetype kMaxUnreadBytes = 64 * 1024;

    Server(Clock& clock, ConversationFactory factory, QObject* parent = nullptr);
    ~Server() override;

    /// Listens on `port` (0: the system's choice); false with `error` set
    /// when it cannot.
    bool listen(const QHostAddress& address, quint16 port, QString* error = nullptr);
    /// Stops listening and closes every connection and link.
    void close();
    bool listening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    int connectionCount() const { return int(connections_.size()); }
    int linkCount() const { return int(links_.size()); }

  signals:
    /// One line for a log: a link made or refused, a connection dropped.
    void news(const QString& text);
    /// Links came or went.
    void changed();

  private:
    struct Link;
    struct Connection;
    struct Job;
    using Reply = std::optional<QByteArray>; // nothing: the call waits

    void accept();
    void serve(Connection& connection);
    bool readMore(Connection& connection);
    bool startCall(Connection& connection, const QByteArray& record);
    void oversized(Connection& connection, const QByteArray& head);
    void finishJob(Connection& connection, const QByteArray& reply);
    void retryJob(Connection& connection);
    void send(Connection& connection, const QByteArray& reply);
    void kick();
    void runKick();
    void dropConnection(quint64 id, const QString& why);
    void dropLater(Connection& connection, const QString& why);
    void destroyLink(qint32 lid);
    void pump(Link& link, int& budget);

    // The procedures (vxi11_calls.cpp): a reply, or nothing while it waits.
    Reply dispatch(Connection& connection, Job& job);
    Reply createLink(Connection& connection, Job& job);
    Reply deviceWrite(Job& job);
    Reply deviceRead(Job& job);
    Reply generic(Job& job);
    Reply deviceLock(Job& job);
    Reply deviceUnlock(const RpcCall& call);
    Reply destroyLinkCall(const RpcCall& call);
    Reply enableSrq(const RpcCall& call);
    Reply docmd(const RpcCall& call);
    Reply abort(const RpcCall& call);
    // Whether `job` on `lid` may go on now: the lock free or its own.
    // Sets `reply` (error 11) when it may not and will not wait.
    bool lockAllows(Job& job, qint32 lid, qint32 flags, quint32 lockTimeoutMs, Reply& reply);
    Link* link(qint32 lid);

    Clock& clock_;
    ConversationFactory factory_;
    QTcpServer server_;
    std::map<quint64, std::unique_ptr<Connection>> connections_;
    std::map<qint32, std::unique_ptr<Link>> links_;
    qint32 lockHolder_ = 0; // the link holding the lock; 0: none
    qint32 nextLid_ = 1;
    quint64 nextConnection_ = 1;
    Timer kickTimer_;
};

} // namespace velmora::vxi11
