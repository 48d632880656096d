#pragma once
// The Prometheus page: a small HTTP/1.1 server that answers `GET /metrics`
// and nothing else. Every connection is answered or closed within 5 s; a
// request head over 8 KiB is answered 431; at most 16 connections at once,
// more are closed as they come. It takes no commands.

#include "core/clock.h"
#include "metrics/metrics_settings.h"
#include "metrics/metrics_text.h"

#include <QObject>
#include <QTcpServer>
#include <functional>
#include <map>
#include <memory>

class QTcpSocket;

namespace velmora {

class MetricsServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxConnections = 16;
    static constexpr qsizetype kMaxHeadBytes = 8 * 1024;
    static constexpr qint64 kConnectionMs = 5000;

    /// `snapshot` is asked for the bench at each scrape.
    MetricsServer(Clock& clock, std::function<MetricsSnapshot()> snapshot,
                  QObject* parent = nullptr);
    ~MetricsServer() override;

    /// Listens as the settings say, or stops when they say off. False, with
    /// `error` set, when it cannot listen.
    bool apply(const MetricsSettings& settings, QString* error = nullptr);
    bool listening() const { return server_.isListening(); }
    /// The port listened on (the system's choice for 0 in tests).
    quint16 port() const { return server_.serverPort(); }
    int connections() const { return int(connections_.size()); }
    quint64 scrapes() const { return scrapes_; }
    quint64 closed() const { return closed_; } // refused or timed out

  signals:
    /// One line for a log: listening, or why not.
    void news(const QString& text);

  private:
    struct Connection;

    void accept();
    void read(quint64 id);
    void answer(Connection& c, const QByteArray& bytes);
    void drop(quint64 id);

    Clock& clock_;
    std::function<MetricsSnapshot()> snapshot_;
    QTcpServer server_;
    std::map<quint64, std::unique_ptr<Connection>> connections_;
    quint64 nextId_ = 1;
    quint64 scrapes_ = 0, closed_ = 0;
};

} // namespace velmora
