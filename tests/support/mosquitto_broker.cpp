#include "support/mosquitto_broker.h"

#include "support/wait_until.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velmora::test {

namespace {

const QString kBroker = QStringLiteral("/usr/sbin/mosquitto");

quint16 FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) == 0)
        port = ntohs(at.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    ::close(fd);
    return ok;
}

// Runs a helper program to its end (at most 20 s); its error output when it fails.
QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20'000)) {
        process.kill();
        process.waitForFinished();
        return program + QStringLiteral(" did not finish");
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
    return program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAllStandardError());
}

// Waits for a client program to end, at most 10 s, with the events handled
// meanwhile: the program's own client goes on talking to the broker.
bool Finished(QProcess& process) {
    if (WaitUntil([&] { return process.state() == QProcess::NotRunning; },
                  std::chrono::seconds(10)))
        return true;
    process.kill();
    process.waitForFinished();
    return false;
}

QString UserName() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("root");
}

} // namespace

MosquittoBroker::MosquittoBroker(BrokerOptions options) : options_(std::move(options)) {
    port_ = FreePort();
    if (!writeFiles() && setupProblem_.isEmpty())
        setupProblem_ = QStringLiteral("cannot write files");
}

MosquittoBroker::~MosquittoBroker() {
    kill();
}

QString MosquittoBroker::Unavailable() {
    for (const QString& program :
         {kBroker, QStringLiteral("/usr/bin/mosquitto_sub"),
          QStringLiteral("/usr/bin/mosquitto_pub"), QStringLiteral("/usr/bin/mosquitto_passwd"),
          QStringLiteral("/usr/bin/openssl")})
        if (!QFileInfo(program).isExecutable())
            return program + QStringLiteral(" is missing: tools/setup installs it");
    return {};
}

bool MosquittoBroker::writeFiles() {
    QString config = QStringLiteral("listener %1 127.0.0.1\npersistence false\nuser %2\n"
                                    "log_dest stderr\nlog_type error\nlog_type warning\n"
                                    "log_type notice\nlog_type information\nlog_type subscribe\n")
                         .arg(port_)
                         .arg(UserName());
    if (options_.users.isEmpty()) {
        config += QStringLiteral("allow_anonymous true\n");
    } else {
        config +=
            QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(path("passwords"));
        QFile(path("passwords")).open(QIODevice::WriteOnly);
        for (auto it = options_.users.begin(); it != options_.users.end(); ++it) {
            setupProblem_ = Run(QStringLiteral("mosquitto_passwd"),
                                {QStringLiteral("-b"), path("passwords"), it.key(), it.value()});
            if (!setupProblem_.isEmpty()) return false;
        }
    }
    if (options_.tls) {
        setupProblem_ =
            Run(QStringLiteral("openssl"),
                {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                 "-nodes", "-keyout", path("key.pem"), "-out", path("cert.pem"), "-days", "2",
                 "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"});
        if (!setupProblem_.isEmpty()) return false;
        config +=
            QStringLiteral("certfile %1\nkeyfile %2\n").arg(path("cert.pem"), path("key.pem"));
    }
    QFile file(path("mosquitto.conf"));
    return file.open(QIODevice::WriteOnly) && file.write(config.toUtf8()) > 0;
}

QString MosquittoBroker::caFile() const {
    return options_.tls ? path("cert.pem") : QString();
}

bool MosquittoBroker::start() {
    if (!setupProblem_.isEmpty()) return false;
    stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(path("broker.log"), QIODevice::Append);
    process_->start(kBroker, {QStringLiteral("-c"), path("mosquitto.conf")});
    if (!process_->waitForStarted(5000)) return false;
    for (int i = 0; i < 500; ++i) {
        if (Accepts(port_)) return true;
        if (process_->state() != QProcess::Running) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void MosquittoBroker::stop() {
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
    process_.reset();
}

void MosquittoBroker::kill() {
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
    process_.reset();
}

bool MosquittoBroker::running() const {
    return process_ && process_->state() == QProcess::Running;
}

QString MosquittoBroker::log() const {
    QFile file(path("broker.log"));
    const QString text =
        file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    return setupProblem_.isEmpty() ? text : setupProblem_ + u'\n' + text;
}

QStringList MosquittoBroker::clientArguments(const QString& user) const {
    QStringList arguments{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(port_)};
    if (options_.tls) arguments << QStringLiteral("--cafile") << caFile();
    const QString who =
        user.isEmpty() && !options_.users.isEmpty() ? options_.users.firstKey() : user;
    if (!who.isEmpty()) arguments << "-u" << who << "-P" << options_.users.value(who);
    return arguments;
}

MqttWatcher::MqttWatcher(const MosquittoBroker& broker, const QStringList& topics,
                         const QStringList& more)
    : broker_(broker), probe_(QStringLiteral("velmora-test-probe/%1").arg(quintptr(this))) {
    QStringList arguments = broker.clientArguments() << QStringLiteral("-t") << probe_;
    for (const QString& topic : topics)
        arguments << QStringLiteral("-t") << topic;
    arguments << QStringLiteral("-F") << QStringLiteral("%r %t %p") << more;
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { collect(); });
    process_.start(QStringLiteral("mosquitto_sub"), arguments);
}

MqttWatcher::~MqttWatcher() {
    process_.disconnect();
    process_.kill();
    process_.waitForFinished(5000);
}

void MqttWatcher::collect() {
    buffer_ += process_.readAllStandardOutput();
    for (qsizetype end = buffer_.indexOf('\n'); end >= 0; end = buffer_.indexOf('\n')) {
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        if (line.size() < 3 || line[1] != ' ') continue;
        const qsizetype space = line.indexOf(' ', 2);
        SeenMessage m;
        m.retained = line[0] == '1';
        m.topic = QString::fromUtf8(line.mid(2, space < 0 ? -1 : space - 2));
        m.payload = space < 0 ? QByteArray() : line.mid(space + 1);
        seen_.append(m);
    }
}

// It has subscribed once a message on its probe topic comes through.
bool MqttWatcher::ready() {
    for (int i = 0; i < 30; ++i) {
        MqttPublish(broker_, probe_, "probe");
        if (WaitUntil([this] { return !seenOn(probe_).isEmpty(); }, std::chrono::milliseconds(300)))
            return true;
    }
    return false;
}

QList<SeenMessage> MqttWatcher::seen() {
    collect();
    QList<SeenMessage> messages;
    for (const SeenMessage& m : seen_)
        if (m.topic != probe_) messages.append(m);
    return messages;
}

QList<SeenMessage> MqttWatcher::seenOn(const QString& topic) {
    collect();
    QList<SeenMessage> messages;
    for (const SeenMessage& m : seen_)
        if (m.topic == topic) messages.append(m);
    return messages;
}

bool MqttWatcher::waitFor(const QString& topic,
                          const std::function<bool(const SeenMessage&)>& match,
                          std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            const QList<SeenMessage> messages = seenOn(topic);
            return std::any_of(messages.begin(), messages.end(), match);
        },
        timeout);
}

bool MqttWatcher::waitForPayload(const QString& topic, const QByteArray& payload,
                                 std::chrono::milliseconds timeout) {
    return waitFor(
        topic, [&](const SeenMessage& m) { return m.payload == payload; }, timeout);
}

bool MqttPublish(const MosquittoBroker& broker, const QString& topic, const QByteArray& payload,
                 bool retain, const QStringList& more) {
    QStringList arguments = broker.clientArguments() << QStringLiteral("-t") << topic << more;
    if (retain) arguments << QStringLiteral("-r");
    QTemporaryFile file;
    if (payload.isEmpty()) {
        arguments << QStringLiteral("-n");
    } else {
        if (!file.open() || file.write(payload) != payload.size() || !file.flush()) return false;
        arguments << QStringLiteral("-f") << file.fileName();
    }
    QProcess process;
    process.start(QStringLiteral("mosquitto_pub"), arguments);
    if (!Finished(process)) return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QList<SeenMessage> RetainedMessages(const MosquittoBroker& broker, const QString& pattern) {
    QProcess process;
    process.start(QStringLiteral("mosquitto_sub"),
                  broker.clientArguments()
                      << QStringLiteral("-t") << pattern << QStringLiteral("--retained-only")
                      << QStringLiteral("-W") << QStringLiteral("1") << QStringLiteral("-F")
                      << QStringLiteral("%r %t %p"));
    Finished(process);
    QList<SeenMessage> messages;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ', 2);
        if (line.size() < 3 || line[1] != ' ') continue;
        messages.append({line[0] == '1', QString::fromUtf8(line.mid(2, space < 0 ? -1 : space - 2)),
                         space < 0 ? QByteArray() : line.mid(space + 1)});
    }
    return messages;
}

} // namespace velmora::test
