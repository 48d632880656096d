#pragma once
// The connection to an MQTT broker, on libmosquitto, driven by the
// program's own event loop: the library's socket in notifiers (write only
// while it has something to write), its housekeeping on a timer. It
// reconnects by itself after a pause of 1 s, doubling up to 60 s; nothing
// in the program waits for the broker.
//
// What can block: a host name is looked up in the background (QHostInfo)
// and the connection made to an address found (IPv4 first; each attempt
// takes the next). With TLS, though, the certificate is checked against
// the name, so libmosquitto is given the name and looks it up again itself,
// in the event loop's thread, connecting to the first address it gets; that
// lookup answers at once from /etc/hosts or right after the background one
// has, and at worst waits for the resolver's time-out (resolv.conf's
// `timeout` x `attempts`, 10 s by default). Addresses (the usual case on a
// lab network) never wait. TCP connects and the TLS handshake never block;
// an attempt that has not got the broker's answer after 10 s is given up.

#include "core/clock.h"
#include "mqtt/mqtt_transport.h"

#include <QHostInfo>
#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

namespace velmora {

/// The libmosquitto client as an MqttTransport.
class MqttClient final : public MqttTransport {
    Q_OBJECT
  public:
    static constexpr qint64 kFirstPauseMs = 1000;
    static constexpr qint64 kLongestPauseMs = 60'000;
    static constexpr qint64 kAttemptMs = 10'000;
    /// Packets read in one turn of the event loop; the rest in the next.
    static constexpr int kPacketsPerTurn = 32;
    /// Messages that may wait while the socket takes nothing more.
    static constexpr int kMostWaiting = 1000;

    explicit MqttClient(Clock& clock, QObject* parent = nullptr);
    ~MqttClient() override;

    void start(const MqttConnection& connection) override;
    void stop() override;
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain) override;
    bool subscribe(const QString& pattern, int qos) override;
    bool backlogged() const override;
    MqttLinkStatus status() const override { return status_; }

  private:
    static void OnConnect(mosquitto*, void* self, int code);
    static void OnDisconnect(mosquitto*, void* self, int code);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    void attempt();
    void lookedUp(const QHostInfo& info);
    void connectTo(const QString& host);
    void watchSocket();
    void readReady();
    void writeReady();
    void handshake(bool writable);
    void housekeeping();
    void settle(int code);
    void updateWriter();
    void fail(const QString& why);
    QString LibraryProblem(int code);
    void dropHandle();
    void setState(MqttLinkStatus::State state);

    Clock& clock_;
    MqttConnection connection_;
    bool running_ = false;
    mosquitto* handle_ = nullptr;
    bool tls_ = false;
    bool accepted_ = false;   // the broker's CONNACK said yes
    bool inLibrary_ = false;  // within a call into libmosquitto
    bool holdWriter_ = false; // TLS handshake: written, now the broker's turn
    std::unique_ptr<QSocketNotifier> reader_, writer_;
    Timer retry_, misc_, deadline_, readMore_;
    int lookup_ = -1;
    qint64 pauseMs_ = kFirstPauseMs;
    quint64 attempts_ = 0; // since the last connection: picks the host's next address
    int waiting_ = 0;      // messages handed over while the socket was full
    // Set inside libmosquitto's callbacks, acted on once it has returned.
    QString lost_;
    QString libraryError_; // its last error line (TLS: why the certificate failed)
    MqttLinkStatus status_;
};

} // namespace velmora
