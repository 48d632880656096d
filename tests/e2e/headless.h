#pragma once
// The bench with no window: velmora --headless with remote control on a free
// port, against the simulated unit, and a plain SCPI client for it.

#include "e2e/session.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace velmora::e2e {

/// A port nobody listens on now.
inline quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// velmora --headless listening on a free port, the unit simulated with
/// `simOptions` added to the usual ones, `settings` (ini lines) added to the
/// program's.
struct HeadlessBench : Session {
    explicit HeadlessBench(std::vector<std::string> simOptions = {},
                           const QByteArray& settings = {})
        : Session(std::move(simOptions)), port(FreePort()) {
        started = startProgram({"--headless", "--remote", QString::number(port)}, settings) &&
                  WaitUntil([&] { return panelErrors().contains("listening on"); }, 5s);
    }
    quint16 port;
    bool started = false;
};

/// One SCPI client on the bench: a line out, its answer line back.
class ScpiLine {
  public:
    explicit ScpiLine(quint16 port) {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        connected_ = socket_.waitForConnected(3000);
    }
    bool connected() const { return connected_; }
    /// Sends `line`; nothing to wait for.
    void send(const QByteArray& line) {
        socket_.write(line + '\n');
        socket_.waitForBytesWritten(3000);
    }
    /// Sends a line with a query and gives its answer without the LF; empty
    /// when none came within 3 s.
    QByteArray ask(const QByteArray& line) {
        send(line);
        while (!socket_.canReadLine())
            if (!socket_.waitForReadyRead(3000)) return {};
        return socket_.readLine().trimmed();
    }

  private:
    QTcpSocket socket_;
    bool connected_ = false;
};

} // namespace velmora::e2e
