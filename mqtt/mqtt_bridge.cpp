#include "mqtt/mqtt_bridge.h"

#include "mqtt/mqtt_command.h"
#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_messages.h"

#include <QFileInfo>
#include <utility>

namespace velmora {

namespace {

const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

// A payload as a line may show it: its start, control bytes as '?'.
QString Excerpt(const QByteArray& payload) {
    QString text = QString::fromUtf8(payload.left(60));
    for (QChar& c : text)
        if (c.unicode() < 0x20) c = u'?';
    return payload.size() > 60 ? text + QStringLiteral("... (%1 bytes)").arg(payload.size()) : text;
}

} // namespace

bool RateWindow::take(qint64 nowNs) {
    if (nowNs >= startNs_ + kNsPerSecond) {
        startNs_ = nowNs;
        count_ = 0;
    }
    if (count_ >= limit_) return false;
    ++count_;
    return true;
}

struct MqttBridge::Unit {
    Unit(Clock& clock, std::function<void()> due, std::function<void()> heartbeat,
         std::function<void()> leftOut)
        : due(clock, std::move(due)), heartbeat(clock, std::move(heartbeat)),
          leftOutReport(clock, std::move(leftOut)) {}
    Timer due;       // the earliest next state message the rate allows
    Timer heartbeat; // a state message at least every 10 s
    Timer leftOutReport;
    qint64 lastPublishNs = std::numeric_limits<qint64>::min() / 2;
    QByteArray lastFields;
    std::optional<DiscoveryUnit> discovered; // as last said to Home Assistant
    RateWindow commands{kCommandsPerSecond};
    RateWindow events{kEventsPerSecond};
    int eventsLeftOut = 0;
};

MqttBridge::MqttBridge(BenchFeed& feed, Clock& clock, std::unique_ptr<MqttTransport> transport,
                       const QString& hostName, const QString& version, QObject* parent)
    : QObject(parent), feed_(feed), clock_(clock), transport_(std::move(transport)),
      hostName_(hostName), version_(version), base_(MqttTopic(settings_, hostName)),
      zone_(QTimeZone::systemTimeZone()), linesLeftOutReport_(clock, [this] {
          const int count = std::exchange(linesLeftOut_, 0);
          note(QStringLiteral("%1 more lines like these left out").arg(count));
      }) {
    connect(transport_.get(), &MqttTransport::connected, this, &MqttBridge::connected);
    connect(transport_.get(), &MqttTransport::message, this, &MqttBridge::take);
    connect(transport_.get(), &MqttTransport::statusChanged, this, &MqttBridge::changed);
    connect(transport_.get(), &MqttTransport::disconnected, this, [this] {
        note(QStringLiteral("connection lost: %1").arg(transport_->status().problem));
    });
    connect(&feed_, &BenchFeed::changed, this, &MqttBridge::unitChanged);
    connect(&feed_, &BenchFeed::happened, this, &MqttBridge::publishEvent);
    connect(&feed_, &BenchFeed::unitsChanged, this, &MqttBridge::unitsChanged);
    resizeUnits();
}

MqttBridge::~MqttBridge() {
    transport_->disconnect(this);
    stop();
}

bool MqttBridge::apply(const MqttSettings& settings) {
    const bool connected = transport_->status().state == MqttLinkStatus::Connected;
    MqttSettings withOldRate = settings;
    withOldRate.rate = settings_.rate;
    const bool same = withOldRate == settings_ && problem_.isEmpty();
    settings_ = settings;
    // A new rate holds from the next message on. Anything else connects
    // anew, as do the same settings while not connected: the password file
    // or the broker may have been put right meanwhile.
    if (same && (connected || !settings.enabled)) return true;
    stop();
    base_ = MqttTopic(settings, hostName_);
    problem_.clear();
    if (!settings.enabled) {
        emit changed();
        return true;
    }
    MqttConnection link;
    link.host = settings.host;
    link.port = MqttPort(settings);
    link.clientId = MqttClientId(settings, hostName_);
    link.username = settings.username;
    link.caFile = settings.caFile;
    link.willTopic = AvailabilityTopic(base_);
    link.willPayload = kOffline;
    if (const QString why = TopicProblem(base_); !why.isEmpty())
        problem_ = QStringLiteral("Topic %1 cannot be used: %2").arg(base_, why);
    else if (!settings.passwordFile.isEmpty() && settings.username.isEmpty())
        problem_ = QStringLiteral("PasswordFile needs a Username");
    else if (!settings.passwordFile.isEmpty())
        link.password = ReadPasswordFile(settings.passwordFile, &problem_);
    if (problem_.isEmpty() && !settings.caFile.isEmpty() &&
        !QFileInfo(settings.caFile).isReadable())
        problem_ = QStringLiteral("CAFile %1 cannot be read").arg(settings.caFile);
    if (!problem_.isEmpty()) {
        note(problem_);
        emit changed();
        return false;
    }
    transport_->start(link);
    emit changed();
    return true;
}

void MqttBridge::stop() {
    if (transport_->status().state == MqttLinkStatus::Connected)
        transport_->publish(AvailabilityTopic(base_), kOffline, 1, true);
    transport_->stop();
}

// Commands are listened for before anything is said: whoever sees the bench
// online or its state can send one and it is heard.
void MqttBridge::connected() {
    if (settings_.commands) transport_->subscribe(base_ + QStringLiteral("/+/set"), 1);
    transport_->publish(AvailabilityTopic(base_), kOnline, 1, true);
    publishDiscovery();
    for (int unit = 1; unit <= int(units_.size()); ++unit)
        publishState(unit, true);
    note(QStringLiteral("connected to %1:%2, topics under %3")
             .arg(settings_.host)
             .arg(MqttPort(settings_))
             .arg(base_));
}

void MqttBridge::publishDiscovery() {
    for (int unit = 1; unit <= mostUnits_; ++unit)
        discover(unit, true);
}

// A unit's entities, when asked, or when its name, model or limits have
// changed since they were last said (another model chosen, say).
void MqttBridge::discover(int unit, bool always) {
    const bool present = unit <= feed_.unitCount();
    DiscoveryUnit d{base_, unit, QString(), QString(), version_, {}};
    if (present) {
        d.name = feed_.unitName(unit);
        d.model = feed_.unitModel(unit);
        d.limits = feed_.setpointLimits(unit);
    }
    Unit* u = unitAt(unit);
    if (u && !always && u->discovered == d) return;
    if (u) u->discovered = d;
    for (const RetainedMessage& m :
         DiscoveryMessages(d, present && settings_.discovery, settings_.commands))
        transport_->publish(m.topic, m.payload, 1, true);
    if (!present) transport_->publish(UnitTopic(base_, unit, QStringLiteral("state")), {}, 1, true);
}

void MqttBridge::take(const QString& topic, const QByteArray& payload, bool retained) {
    const int unit = CommandTopicUnit(base_, topic);
    if (unit < 1 || unit > int(units_.size())) {
        note(QStringLiteral("a message on %1 was left: no such unit").arg(topic.left(200)));
        return;
    }
    if (!settings_.commands) return;
    if (retained)
        return refuse(unit, payload,
                      QStringLiteral("a retained command is not obeyed: publish commands without "
                                     "retain"));
    if (!units_[size_t(unit - 1)]->commands.take(clock_.monotonicNs()))
        return refuse(unit, payload,
                      QStringLiteral("more than %1 commands a second").arg(kCommandsPerSecond));
    const CommandReading reading = ReadCommand(payload);
    if (!reading.command) return refuse(unit, payload, reading.problem);
    if (const QString why = feed_.command(unit, *reading.command); !why.isEmpty())
        return refuse(unit, payload, why);
    note(QStringLiteral("unit %1: %2 taken").arg(unit).arg(Excerpt(payload)));
}

void MqttBridge::refuse(int unit, const QByteArray& payload, const QString& why) {
    publishEvent(unit, QStringLiteral("refused"), why);
    note(QStringLiteral("unit %1: %2 refused: %3").arg(unit).arg(Excerpt(payload), why));
}

void MqttBridge::unitChanged(int unit) {
    Unit* u = unitAt(unit);
    if (!u || u->due.isActive()) return;
    const qint64 earliest = u->lastPublishNs + kNsPerSecond / settings_.rate;
    if (clock_.monotonicNs() >= earliest)
        publishState(unit, false);
    else
        u->due.startAt(earliest);
}

void MqttBridge::publishState(int unit, bool always) {
    Unit* u = unitAt(unit);
    if (!u || transport_->status().state != MqttLinkStatus::Connected) return;
    const UnitState state = feed_.state(unit);
    QByteArray fields = StateFields(state);
    if (!always && fields == u->lastFields) return;
    const qint64 now = clock_.monotonicNs();
    // The broker is slow: the newest state goes once it has caught up.
    if (transport_->backlogged() && !always) return u->due.start(kNsPerSecond / settings_.rate);
    if (settings_.discovery) discover(unit, false);
    transport_->publish(UnitTopic(base_, unit, QStringLiteral("state")),
                        StateJson(state, clock_.epochMs(), zone_), 0, true);
    u->lastFields = std::move(fields);
    u->lastPublishNs = now;
    u->heartbeat.start(kHeartbeatMs * kNsPerMs);
}

void MqttBridge::publishEvent(int unit, const QString& kind, const QString& text) {
    Unit* u = unitAt(unit);
    if (!u || transport_->status().state != MqttLinkStatus::Connected) return;
    if (!u->events.take(clock_.monotonicNs())) {
        if (u->eventsLeftOut++ == 0) u->leftOutReport.startAt(u->events.windowEndNs());
        return;
    }
    transport_->publish(UnitTopic(base_, unit, QStringLiteral("event")),
                        EventJson(kind, text, clock_.epochMs(), zone_), 0, false);
}

void MqttBridge::sayLeftOut(int unit) {
    Unit* u = unitAt(unit);
    if (!u || u->eventsLeftOut == 0) return;
    const int count = u->eventsLeftOut;
    u->eventsLeftOut = 0;
    publishEvent(unit, QStringLiteral("left_out"),
                 QStringLiteral("%1 events left out: more than %2 a second")
                     .arg(count)
                     .arg(kEventsPerSecond));
}

void MqttBridge::unitsChanged() {
    resizeUnits();
    if (transport_->status().state != MqttLinkStatus::Connected) return;
    publishDiscovery();
    for (int unit = 1; unit <= int(units_.size()); ++unit)
        publishState(unit, true);
}

void MqttBridge::resizeUnits() {
    const int count = std::max(0, feed_.unitCount());
    while (int(units_.size()) > count)
        units_.pop_back();
    while (int(units_.size()) < count) {
        const int unit = int(units_.size()) + 1;
        units_.push_back(std::make_unique<Unit>(
            clock_, [this, unit] { publishState(unit, false); },
            [this, unit] { publishState(unit, true); }, [this, unit] { sayLeftOut(unit); }));
    }
    mostUnits_ = std::max(mostUnits_, count);
}

MqttBridge::Unit* MqttBridge::unitAt(int unit) {
    return unit >= 1 && unit <= int(units_.size()) ? units_[size_t(unit - 1)].get() : nullptr;
}

// At most kLinesPerSecond lines a second for the window and the log; what
// is over is counted and said once the second is over.
void MqttBridge::note(const QString& line) {
    if (!lines_.take(clock_.monotonicNs())) {
        if (linesLeftOut_++ == 0) linesLeftOutReport_.startAt(lines_.windowEndNs());
        return;
    }
    const QString stamped = clock_.localNow().toString(QStringLiteral("hh:mm:ss  ")) + line;
    recent_.append(stamped);
    if (recent_.size() > kRecentLines) recent_.removeFirst();
    emit news(QStringLiteral("mqtt: ") + line);
    emit changed();
}

QString MqttBridge::statusText() const {
    if (!problem_.isEmpty()) return QStringLiteral("Off: %1.").arg(problem_);
    const MqttLinkStatus link = transport_->status();
    const QString place = QStringLiteral("%1:%2").arg(settings_.host).arg(MqttPort(settings_));
    switch (link.state) {
    case MqttLinkStatus::Off:
        return QStringLiteral("Off.");
    case MqttLinkStatus::Connecting:
        return QStringLiteral("Connecting to %1...").arg(place);
    case MqttLinkStatus::Connected:
        return QStringLiteral("Connected to %1 as %2, topics under %3.")
            .arg(place, MqttClientId(settings_, hostName_), base_);
    case MqttLinkStatus::Waiting: {
        const qint64 seconds = std::max<qint64>(
            0, (link.nextAttemptNs - clock_.monotonicNs() + kNsPerSecond - 1) / kNsPerSecond);
        QString why = link.problem;
        while (why.endsWith(u'.'))
            why.chop(1);
        return QStringLiteral("Not connected to %1: %2. Next attempt in %3 s.")
            .arg(place, why)
            .arg(seconds);
    }
    }
    return {};
}

} // namespace velmora
