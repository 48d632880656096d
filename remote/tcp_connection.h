#pragma once
// One remote client's TCP connection, on its own descriptor: read only when
// the server asks, written at once with what does not fit kept in order, and
// kept open for the answers after the client has closed its sending side.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QSocketNotifier;

namespace velmora {

/// A connected stream socket the server drives by hand. Nothing is read
/// while reading is paused: what the client sends meanwhile waits in the
/// kernel, and its sender is slowed by its own socket.
class TcpConnection : public QObject {
    Q_OBJECT
  public:
    /// Takes over `descriptor`, a connected socket; closes it when destroyed.
    explicit TcpConnection(qintptr descriptor, QObject* parent = nullptr);
    ~TcpConnection() override;

    QHostAddress peerAddress() const { return peer_; }
    quint16 peerPort() const { return peerPort_; }

    /// At most `maxBytes` of what waits; empty when nothing does. Once the
    /// client has closed its sending side, peerClosed() holds.
    QByteArray read(qint64 maxBytes);
    bool peerClosed() const { return peerClosed_; }
    /// Whether readable() is raised when something waits.
    void setReading(bool on);

    /// Sends the bytes now; what the kernel does not take waits here and
    /// goes out in order as it can.
    void write(const QByteArray& bytes);
    qint64 bytesToWrite() const { return pending_.size() - sentOfPending_; }
    /// The connection failed or was reset; nothing more goes either way.
    bool broken() const { return broken_; }
    void close();

  signals:
    /// Something waits to be read, or the client closed its sending side.
    void readable();
    /// Everything written has gone out.
    void drained();
    /// The connection failed or was reset.
    void failed();

  private:
    void flush();
    void fail();

    int fd_ = -1;
    QHostAddress peer_;
    quint16 peerPort_ = 0;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray pending_;
    qsizetype sentOfPending_ = 0;
    bool peerClosed_ = false;
    bool broken_ = false;
};

} // namespace velmora
