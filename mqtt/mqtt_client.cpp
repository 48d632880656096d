#include "mqtt/mqtt_client.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>

namespace velmora {

namespace {

QString ErrorText(int code) {
    if (code == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(code));
}

// Puts errno back as it was: libmosquitto reads it after our callbacks return.
class KeepErrno {
  public:
    KeepErrno() : saved_(errno) {}
    ~KeepErrno() { errno = saved_; }
    KeepErrno(const KeepErrno&) = delete;
    KeepErrno& operator=(const KeepErrno&) = delete;

  private:
    int saved_;
};

} // namespace

MqttClient::MqttClient(Clock& clock, QObject* parent)
    : MqttTransport(parent), clock_(clock), retry_(clock, [this] { attempt(); }),
      misc_(clock, [this] { housekeeping(); }),
      deadline_(clock, [this] { fail(QStringLiteral("the broker did not answer within 10 s")); }),
      readMore_(clock, [this] { readReady(); }) {
    mosquitto_lib_init();
}

MqttClient::~MqttClient() {
    blockSignals(true);
    stop();
    mosquitto_lib_cleanup();
}

void MqttClient::start(const MqttConnection& connection) {
    stop();
    connection_ = connection;
    running_ = true;
    pauseMs_ = kFirstPauseMs;
    attempts_ = 0;
    status_.problem.clear();
    attempt();
}

void MqttClient::stop() {
    running_ = false;
    retry_.stop();
    if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
    lookup_ = -1;
    if (handle_ && inLibrary_) {
        // Inside libmosquitto's own call: the handle goes once it has returned.
        lost_ = QStringLiteral("stopped");
        return;
    }
    if (handle_ && accepted_) mosquitto_disconnect(handle_);
    dropHandle();
    setState(MqttLinkStatus::Off);
}

void MqttClient::attempt() {
    if (!running_) return;
    ++attempts_;
    setState(MqttLinkStatus::Connecting);
    deadline_.start(kAttemptMs * kNsPerMs);
    if (!QHostAddress(connection_.host).isNull()) return connectTo(connection_.host);
    lookup_ = QHostInfo::lookupHost(connection_.host, this,
                                    [this](const QHostInfo& info) { lookedUp(info); });
}

void MqttClient::lookedUp(const QHostInfo& info) {
    lookup_ = -1;
    if (!running_ || status_.state != MqttLinkStatus::Connecting) return;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        return fail(QStringLiteral("cannot find %1: %2").arg(connection_.host, info.errorString()));
    // IPv4 first, as brokers listen there most; each attempt takes the next.
    QList<QHostAddress> addresses = info.addresses();
    std::stable_partition(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    const QHostAddress address = addresses[qsizetype((attempts_ - 1) % quint64(addresses.size()))];
    // With TLS the certificate names the host: libmosquitto needs the name.
    connectTo(connection_.caFile.isEmpty() ? address.toString() : connection_.host);
}

void MqttClient::connectTo(const QString& host) {
    handle_ = mosquitto_new(connection_.clientId.toUtf8().constData(), true, this);
    if (!handle_) return fail(QStringLiteral("cannot make a client: %1").arg(std::strerror(errno)));
    mosquitto_int_option(handle_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(handle_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(handle_, &MqttClient::OnConnect);
    mosquitto_disconnect_callback_set(handle_, &MqttClient::OnDisconnect);
    mosquitto_message_callback_set(handle_, &MqttClient::OnMessage);
    mosquitto_log_callback_set(handle_, &MqttClient::OnLog);
    int rc = MOSQ_ERR_SUCCESS;
    if (!connection_.willTopic.isEmpty())
        rc = mosquitto_will_set(handle_, connection_.willTopic.toUtf8().constData(),
                                int(connection_.willPayload.size()),
                                connection_.willPayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !connection_.username.isEmpty())
        rc = mosquitto_username_pw_set(handle_, connection_.username.toUtf8().constData(),
                                       connection_.password ? connection_.password->constData()
                                                            : nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return fail(ErrorText(rc));
    tls_ = !connection_.caFile.isEmpty();
    if (tls_) {
        rc = mosquitto_tls_set(handle_, connection_.caFile.toLocal8Bit().constData(), nullptr,
                               nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("CAFile %1 cannot be used: %2")
                            .arg(connection_.caFile, ErrorText(rc)));
    }
    inLibrary_ = true;
    rc = mosquitto_connect_async(handle_, host.toUtf8().constData(), connection_.port,
                                 connection_.keepAliveSeconds);
    inLibrary_ = false;
    if (rc != MOSQ_ERR_SUCCESS) return fail(LibraryProblem(rc));
    watchSocket();
}

void MqttClient::watchSocket() {
    const int fd = mosquitto_socket(handle_);
    if (fd < 0) return fail(QStringLiteral("no socket"));
    reader_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(reader_.get(), &QSocketNotifier::activated, this, [this] { readReady(); });
    writer_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writer_.get(), &QSocketNotifier::activated, this, [this] { writeReady(); });
    // Writable once the TCP connection stands (or has failed).
    writer_->setEnabled(true);
    misc_.start(kNsPerSecond);
}

void MqttClient::readReady() {
    if (!handle_) return;
    if (tls_ && !accepted_) return handshake(false);
    for (int i = 0; i < kPacketsPerTurn; ++i) {
        errno = 0;
        inLibrary_ = true;
        const int rc = mosquitto_loop_read(handle_, 1);
        inLibrary_ = false;
        if (rc != MOSQ_ERR_SUCCESS || !lost_.isEmpty() || errno == EAGAIN || errno == EWOULDBLOCK)
            return settle(rc);
    }
    // More may wait, in the socket or inside TLS: the next turn reads on.
    readMore_.start(0);
    settle(MOSQ_ERR_SUCCESS);
}

void MqttClient::writeReady() {
    if (!handle_) return;
    if (tls_ && !accepted_) return handshake(true);
    inLibrary_ = true;
    const int rc = mosquitto_loop_write(handle_, 1);
    inLibrary_ = false;
    settle(rc);
}

// Until the broker has answered, a TLS link goes through libmosquitto's own
// loop (with no wait): only it carries on the handshake. Once a writable
// socket has been used, the handshake goes on only when the broker answers:
// a write wish left standing meanwhile would wake the loop for nothing.
void MqttClient::handshake(bool writable) {
    holdWriter_ = false;
    inLibrary_ = true;
    const int rc = mosquitto_loop(handle_, 0, 1);
    inLibrary_ = false;
    holdWriter_ = writable;
    settle(rc);
}

void MqttClient::housekeeping() {
    if (!handle_) return;
    inLibrary_ = true;
    const int rc = mosquitto_loop_misc(handle_);
    inLibrary_ = false;
    misc_.start(kNsPerSecond);
    settle(rc);
}

void MqttClient::settle(int code) {
    if (!handle_) return;
    if (!lost_.isEmpty()) {
        const QString why = lost_;
        lost_.clear();
        return fail(why);
    }
    if (code != MOSQ_ERR_SUCCESS) return fail(LibraryProblem(code));
    if (mosquitto_socket(handle_) < 0) return fail(QStringLiteral("the connection was lost"));
    updateWriter();
}

void MqttClient::updateWriter() {
    const bool want = mosquitto_want_write(handle_);
    if (!want) waiting_ = 0;
    if (writer_) writer_->setEnabled(want && !(tls_ && !accepted_ && holdWriter_));
}

QString MqttClient::LibraryProblem(int code) {
    QString text = ErrorText(code);
    if (!libraryError_.isEmpty()) text += QStringLiteral(" (%1)").arg(libraryError_);
    libraryError_.clear();
    return text;
}

void MqttClient::fail(const QString& why) {
    const bool wasConnected = accepted_;
    status_.problem = why;
    if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
    lookup_ = -1;
    dropHandle();
    if (running_) {
        status_.nextAttemptNs = clock_.monotonicNs() + pauseMs_ * kNsPerMs;
        retry_.start(pauseMs_ * kNsPerMs);
        pauseMs_ = std::min(pauseMs_ * 2, kLongestPauseMs);
        status_.state = MqttLinkStatus::Waiting;
    } else {
        status_.state = MqttLinkStatus::Off;
    }
    if (wasConnected) emit disconnected();
    emit statusChanged();
}

void MqttClient::dropHandle() {
    for (auto* notifier : {&reader_, &writer_}) {
        if (!*notifier) continue;
        (*notifier)->setEnabled(false);
        (*notifier)->disconnect(this);
        // Possibly inside its own signal: it goes at the next turn.
        notifier->release()->deleteLater();
    }
    misc_.stop();
    readMore_.stop();
    deadline_.stop();
    if (handle_) mosquitto_destroy(handle_);
    handle_ = nullptr;
    accepted_ = false;
    waiting_ = 0;
    holdWriter_ = false;
    lost_.clear();
    libraryError_.clear();
}

bool MqttClient::publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    if (!handle_ || !accepted_ || !lost_.isEmpty() || waiting_ >= kMostWaiting) return false;
    const bool full = mosquitto_want_write(handle_);
    const bool inside = inLibrary_;
    inLibrary_ = true;
    const int rc = mosquitto_publish(handle_, nullptr, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), qos, retain);
    inLibrary_ = inside;
    if (rc != MOSQ_ERR_SUCCESS) return false;
    ++status_.sent;
    if (full) ++waiting_;
    // Within libmosquitto's call the notifier is set once it returns.
    if (!inside) updateWriter();
    return true;
}

bool MqttClient::subscribe(const QString& pattern, int qos) {
    if (!handle_ || !accepted_) return false;
    const bool inside = inLibrary_;
    inLibrary_ = true;
    const int rc = mosquitto_subscribe(handle_, nullptr, pattern.toUtf8().constData(), qos);
    inLibrary_ = inside;
    if (!inside && handle_) updateWriter();
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::backlogged() const {
    return handle_ && mosquitto_want_write(handle_);
}

void MqttClient::setState(MqttLinkStatus::State state) {
    if (status_.state == state) return;
    status_.state = state;
    emit statusChanged();
}

void MqttClient::OnConnect(mosquitto*, void* self, int code) {
    KeepErrno keep;
    auto* client = static_cast<MqttClient*>(self);
    if (code != 0) {
        client->lost_ = QStringLiteral("the broker refused the connection: %1")
                            .arg(QString::fromUtf8(mosquitto_connack_string(code)));
        return;
    }
    client->accepted_ = true;
    client->deadline_.stop();
    client->pauseMs_ = kFirstPauseMs;
    client->attempts_ = 0;
    client->status_.problem.clear();
    client->status_.state = MqttLinkStatus::Connected;
    emit client->connected();
    emit client->statusChanged();
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int code) {
    KeepErrno keep;
    auto* client = static_cast<MqttClient*>(self);
    if (client->lost_.isEmpty())
        client->lost_ = code == MOSQ_ERR_SUCCESS ? QStringLiteral("disconnected")
                                                 : QStringLiteral("the connection was lost: ") +
                                                       client->LibraryProblem(code);
}

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    KeepErrno keep;
    auto* client = static_cast<MqttClient*>(self);
    ++client->status_.received;
    emit client->message(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
        message->retain);
}

void MqttClient::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || !text) return;
    KeepErrno keep;
    static_cast<MqttClient*>(self)->libraryError_ = QString::fromUtf8(text).left(300);
}

} // namespace velmora
