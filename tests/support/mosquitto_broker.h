#pragma once
// A private mosquitto broker for a test, on a free loopback port, with
// persistence off; optionally with a password file and TLS from a
// certificate made for it. And the command-line clients a user would use,
// mosquitto_sub and mosquitto_pub, run against it.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>

namespace velmora::test {

struct BrokerOptions {
    QMap<QString, QString> users; // user -> password; none: anonymous clients allowed
    bool tls = false;
};

class MosquittoBroker {
  public:
    explicit MosquittoBroker(BrokerOptions options = {});
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    /// Why no broker can run here (the packages are missing); empty when one can.
    static QString Unavailable();

    /// Starts it (again, on the same port) and waits until it takes
    /// connections; false, with log() saying why, when it does not within 5 s.
    bool start();
    /// Ends it with SIGTERM (or SIGKILL) and waits for it.
    void stop();
    void kill();
    bool running() const;

    quint16 port() const { return port_; }
    QString caFile() const; // with TLS: the certificate to trust
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString log() const;
    /// What mosquitto_sub and mosquitto_pub need to reach it, as `user`.
    QStringList clientArguments(const QString& user = {}) const;

  private:
    bool writeFiles();

    BrokerOptions options_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> process_;
    QString setupProblem_;
};

/// One message as mosquitto_sub prints it with -F "%r %t %p".
struct SeenMessage {
    bool retained = false;
    QString topic;
    QByteArray payload;
};

/// mosquitto_sub running against the broker, collecting what it prints.
class MqttWatcher {
  public:
    MqttWatcher(const MosquittoBroker& broker, const QStringList& topics,
                const QStringList& more = {});
    ~MqttWatcher();
    /// Waits (handling events) until mosquitto_sub has subscribed; at most 10 s.
    bool ready();
    /// Everything seen so far, oldest first.
    QList<SeenMessage> seen();
    QList<SeenMessage> seenOn(const QString& topic);
    /// Waits (handling events) until a message on `topic` satisfies `match`.
    bool waitFor(const QString& topic, const std::function<bool(const SeenMessage&)>& match,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForPayload(const QString& topic, const QByteArray& payload,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

  private:
    void collect();
    const MosquittoBroker& broker_;
    QString probe_;
    QProcess process_;
    QByteArray buffer_;
    QList<SeenMessage> seen_;
};

/// Runs mosquitto_pub once (at most 10 s); whether it succeeded. A payload
/// too long for a command line goes through a file.
bool MqttPublish(const MosquittoBroker& broker, const QString& topic, const QByteArray& payload,
                 bool retain = false, const QStringList& more = {});
/// The retained messages under `pattern` right now (mosquitto_sub --retained-only).
QList<SeenMessage> RetainedMessages(const MosquittoBroker& broker, const QString& pattern);

} // namespace velmora::test
