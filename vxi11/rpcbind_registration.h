#pragma once
// Tells the system's rpcbind where the VXI-11 core program listens, so that
// clients asking for TCPIP::host::INSTR find it, and takes it back. Every
// exchange runs in the event loop on a socket of its own with a time limit:
// an absent or slow rpcbind never holds anything up.

#include "core/clock.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <memory>

class QIODevice;

namespace velmora::vxi11 {

/// Registers program 395183 version 1 on TCP with rpcbind: through its local
/// socket (rpcbind takes registrations from local programs only there), or,
/// without one, through portmap on 127.0.0.1 port 111.
class RpcbindRegistration : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 kTimeLimitMs = 2000;

    explicit RpcbindRegistration(Clock& clock, QObject* parent = nullptr);
    /// Takes a registration back at once, without waiting for rpcbind's
    /// answer, when the program ends while registered.
    ~RpcbindRegistration() override;

    /// Registers the program at `port` (replacing an earlier registration).
    void set(const QHostAddress& address, quint16 port);
    /// Takes the registration back.
    void unset();
    bool registered() const { return registered_; }

    /// Where rpcbind's local socket is (tests point it elsewhere) and its
    /// TCP port.
    void setPlaces(const QString& localSocket, quint16 tcpPort);

  signals:
    /// A registration was made (true) or taken back (false).
    void done(bool registered);
    /// Said once in the object's life: rpcbind is absent, silent or refused.
    void unavailable(const QString& text);

  private:
    enum class Step { Unset, Set };
    enum class Via { Local, Tcp };

    void begin(bool set);
    void startExchange();
    void readReply();
    void exchangeFailed(const QString& why);
    void stepDone(bool answer);
    void say(const QString& text);
    QByteArray callFor(Step step, quint32 xid) const;
    void closeDevice();

    Clock& clock_;
    QString localSocket_ = QStringLiteral("/run/rpcbind.sock");
    quint16 tcpPort_ = 111;
    QHostAddress address_;
    quint16 port_ = 0;
    bool wantSet_ = false;
    bool registered_ = false;
    bool said_ = false;
    Via via_ = Via::Local;
    QList<Step> steps_;
    quint32 xid_ = 0;
    QIODevice* device_ = nullptr;
    QByteArray received_;
    Timer timeLimit_;
};

} // namespace velmora::vxi11
