#pragma once
// A VXI-11 client for tests, on a QTcpSocket in the test's own event loop:
// it sends calls (or any bytes) and waits for replies while the server, in
// the same thread, runs. `turn` is called while waiting (to move a fake clock).

#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/vxi11_protocol.h"

#include <QTcpSocket>
#include <functional>
#include <optional>

namespace velmora::test {

class RpcTestClient {
  public:
    explicit RpcTestClient(std::function<void()> turn = {}) : turn_(std::move(turn)) {}
    bool connectTo(quint16 port);
    /// Sends raw bytes as they are.
    void sendRaw(const QByteArray& bytes);
    /// Sends a call (AUTH_NONE) and gives its xid.
    quint32 send(quint32 program, quint32 version, quint32 procedure, const QByteArray& args);
    /// The next reply record, whole; nothing within `ms`.
    std::optional<QByteArray> reply(int ms = 3000);
    /// A call on the core program and its results; nothing unless SUCCESS.
    std::optional<QByteArray> call(vxi11::Proc proc, const QByteArray& args, int ms = 3000);
    /// The first word of the results: the device error.
    static qint32 ErrorOf(const std::optional<QByteArray>& results);
    bool closedByServer(int ms = 3000);
    QTcpSocket& socket() { return socket_; }

    // Arguments as the procedures take them.
    static QByteArray CreateLink(bool lock = false, quint32 lockTimeoutMs = 0,
                                 const QByteArray& device = "inst0");
    static QByteArray Write(qint32 lid, const QByteArray& data, qint32 flags = vxi11::flags::kEnd,
                            quint32 ioTimeoutMs = 1000, quint32 lockTimeoutMs = 0);
    static QByteArray Read(qint32 lid, quint32 size = 1024, quint32 ioTimeoutMs = 1000,
                           qint32 flags = 0, quint32 lockTimeoutMs = 0, char termChar = 0);
    static QByteArray Generic(qint32 lid, qint32 flags = 0, quint32 lockTimeoutMs = 0);
    static QByteArray Lock(qint32 lid, qint32 flags = 0, quint32 lockTimeoutMs = 0);
    static QByteArray Link(qint32 lid);

    /// create_link's lid; -1 for an error.
    qint32 createLink();
    /// Writes a line and reads its answer whole (until END).
    QByteArray ask(qint32 lid, const QByteArray& line);
    /// Reads an answer whole (until END); "(read failed)" on an error.
    QByteArray readAnswer(qint32 lid, quint32 ioTimeoutMs = 1000);

  private:
    bool waitFor(const std::function<bool()>& done, int ms);

    std::function<void()> turn_;
    QTcpSocket socket_;
    vxi11::RecordReader records_{1 << 20};
    quint32 xid_ = 100;
};

} // namespace velmora::test
