#include "session/units.h"

#include "core/constants.h"
#include "link/link_status.h"
#include "recording/file_identity.h"
#include "recording/file_names.h"

#include <QFileInfo>
#include <QSet>

namespace velmora {

namespace {

constexpr qsizetype kMaxNameLength = 64;

QString NameProblem(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("an empty name");
    if (name.size() > kMaxNameLength)
        return QStringLiteral("a name of %1 characters (at most %2)").arg(name.size()).arg(kMaxNameLength);
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control) return QStringLiteral("a control character in its name");
    return {};
}

// The keys of a unit's own group that say which unit it is, when present
// and not a port or a model's limit.
QStringList Unreadable(const SettingsStore& store) {
    QStringList unreadable;
    for (const QLatin1StringView key : {kKeyPort, kKeyVoltageLimit, kKeyCurrentLimit}) {
        const QString text = store.text(store.groups().main, QString(key));
        const std::optional<qint16> number = ParseInt16(text);
        if (!text.isEmpty() && (!number || *number < 1))
            unreadable << QStringLiteral("%1=%2").arg(key, ShownName(text.left(40)));
    }
    return unreadable;
}

} // namespace

QString ShownName(const QString& name) {
    QString shown;
    for (const QChar c : name.left(kMaxNameLength))
        if (c.category() != QChar::Other_Control) shown += c;
    return shown;
}

UnitVerdicts AdmitUnits(const std::vector<UnitConfig>& stored,
                        const std::function<QString(const UnitConfig&)>& device,
                        const std::function<QString(const QString& path)>& identity) {
    UnitVerdicts v;
    QMap<QString, QString> devices, records, names; // what is taken, and by whom
    QSet<int> groups;
    for (const UnitConfig& unit : stored)
        groups.insert(unit.number);
    for (const UnitConfig& unit : stored) {
        const QString who = QStringLiteral("Unit%1").arg(unit.number);
        const auto leaveOut = [&](const QString& why) {
            v.messages << QStringLiteral("[%1] left out: %2").arg(who, why);
        };
        // A unit left out for what its group holds leaves no gap: those
        // after it still run, each a number lower on the bench.
        if (unit.number > 1 && !groups.contains(unit.number - 1)) {
            leaveOut(QStringLiteral("units are numbered 2 to %1 without gaps, and there is no "
                                    "[Unit%2]")
                         .arg(kMaxUnits)
                         .arg(unit.number - 1));
            groups.remove(unit.number);
            continue;
        }
        if (!unit.unreadable.isEmpty()) {
            leaveOut(QStringLiteral("%1 cannot be read").arg(unit.unreadable.join(QStringLiteral(", "))));
            continue;
        }
        if (unit.number > 1) {
            if (const QString problem = NameProblem(unit.stored.name); !problem.isEmpty()) {
                leaveOut(problem);
                continue;
            }
        }
        const QString deviceId = identity(device(unit));
        const QString recordId = identity(ProgramFilePath(unit.stored.recordFileName));
        const QString nameKey = unit.stored.name.toCaseFolded();
        if (devices.contains(deviceId)) {
            leaveOut(QStringLiteral("its port COM%1 (%2) is %3's device")
                         .arg(unit.stored.port)
                         .arg(device(unit), devices.value(deviceId)));
            continue;
        }
        if (records.contains(recordId)) {
            leaveOut(QStringLiteral("it would record into %1, as %2 does")
                         .arg(unit.stored.recordFileName, records.value(recordId)));
            continue;
        }
        if (names.contains(nameKey)) {
            leaveOut(QStringLiteral("its name \"%1\" is %2's").arg(unit.stored.name, names.value(nameKey)));
            continue;
        }
        const QString label = QStringLiteral("%1 (%2)").arg(ShownName(unit.stored.name), who);
        devices.insert(deviceId, label);
        records.insert(recordId, label);
        names.insert(nameKey, label);
        v.admitted.push_back(unit);
    }
    return v;
}

Units::Units(Clock& clock, LineMaker lines, QString settingsPath, QObject* parent)
    : UnitSet(parent), clock_(clock), lines_(std::move(lines)),
      settingsPath_(std::move(settingsPath)) {}

Units::~Units() {
    // Their signals must not reach this half-destroyed object.
    for (auto& session : sessions_)
        session->disconnect(this);
}

SettingsStore Units::storeFor(int number) const {
    return settingsPath_.isEmpty() ? SettingsStore(number) : SettingsStore(settingsPath_, number);
}

std::vector<UnitConfig> Units::storedUnits() {
    std::vector<UnitConfig> units{{1, storeFor(1).load()}};
    const QStringList groups = storeFor(1).allGroups();
    for (const QString& group : groups) {
        bool ok = false;
        const int number = group.startsWith(QStringLiteral("Unit")) ? group.mid(4).toInt(&ok) : 0;
        if (!ok || QStringLiteral("Unit%1").arg(number) != group) continue;
        if (number < 2 || number > kMaxUnits) {
            emit message(
                QStringLiteral("[%1] left out: units are numbered 2 to %2").arg(group).arg(kMaxUnits));
            continue;
        }
        units.push_back({number, storeFor(number).load(), Unreadable(storeFor(number))});
    }
    std::sort(units.begin(), units.end(),
              [](const UnitConfig& a, const UnitConfig& b) { return a.number < b.number; });
    return units;
}

// Two names of one device, or of one file, are one: compared as what they are.
static QString IdentityForUnits(const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
}

void Units::start() {
    const UnitVerdicts verdicts = AdmitUnits(
        storedUnits(),
        [](const UnitConfig& u) { return DeviceForPort(u.stored.port, u.stored.portDevices); },
        &IdentityForUnits);
    for (const QString& text : verdicts.messages)
        emit message(text);
    for (const UnitConfig& unit : verdicts.admitted)
        make(unit.number);
    holdTripAll(storeFor(1).text(QStringLiteral("Bench"), QStringLiteral("TripAll")) ==
                QStringLiteral("true"));
    emit changed();
}

Session& Units::make(int group) {
    auto session = std::make_unique<Session>(clock_, lines_(), storeFor(group));
    Session& made = *session;
    sessions_.push_back(std::move(session));
    made.setNumber(count());
    watch(made);
    made.start();
    return made;
}

void Units::watch(Session& session) {
    connect(&session, &Session::protectionTripped, this,
            [this, &session](const QString& text) { onTrip(session, text); });
    connect(&session, &Session::ended, this, [this] {
        if (ending_ && ++ended_ == count()) emit ended();
    });
}

QString Units::name(int number) const {
    return ShownName(at(number).name());
}

int Units::add(qint16 port, Model model, const QString& name, QString* why) {
    const auto refuse = [why](const QString& text) {
        if (why) *why = text;
        return 0;
    };
    if (count() >= kMaxUnits) return refuse(QStringLiteral("the bench holds %1 units at most").arg(kMaxUnits));
    if (model == Model::None) return refuse(QStringLiteral("no model chosen"));
    const int number = freeGroup();
    if (number == 0)
        return refuse(QStringLiteral("the settings file %1 holds [Unit%2], left out: remove it "
                                     "first")
                          .arg(storeFor(1).fileName())
                          .arg(kMaxUnits));
    std::vector<UnitConfig> configs;
    for (int n = 1; n <= count(); ++n)
        configs.push_back({at(n).group(), storeFor(at(n).group()).load()});
    UnitConfig added{number, storeFor(number).load()};
    added.stored.port = port;
    added.stored.name = name.isEmpty() ? DefaultUnitName(number) : name;
    configs.push_back(added);
    const UnitVerdicts verdicts = AdmitUnits(
        configs,
        [](const UnitConfig& u) { return DeviceForPort(u.stored.port, u.stored.portDevices); },
        &IdentityForUnits);
    if (int(verdicts.admitted.size()) != int(configs.size()))
        return refuse(verdicts.messages.join(QStringLiteral("; ")));
    SettingsStore store = storeFor(number);
    const bool stored = store.saveText(QStringLiteral("Name"), added.stored.name) &&
                        store.savePort(port) && store.saveModelLimits(LimitsOf(model)) &&
                        store.saveFileNames(added.stored.recordFileName, added.stored.controlFileName);
    if (!stored) emit message(QStringLiteral("the settings file %1 cannot be written: unit %2 holds until the program ends").arg(store.fileName()).arg(number));
    make(number);
    emit changed();
    return count();
}

// The group after the last unit's; groups left out before it stay as they are.
int Units::freeGroup() const {
    const QStringList groups = storeFor(1).allGroups();
    int group = at(count()).group() + 1;
    while (group <= kMaxUnits && groups.contains(QStringLiteral("Unit%1").arg(group)))
        ++group;
    return group <= kMaxUnits ? group : 0;
}

bool Units::remove(int number, QString* why) {
    if (number < 2 || number > count()) {
        if (why) *why = QStringLiteral("unit 1 stays; there is no unit %1 to remove").arg(number);
        return false;
    }
    Session* gone = &at(number);
    connect(gone, &Session::ended, this, [this, gone] { removeEnded(gone); }, Qt::QueuedConnection);
    gone->shutdown();
    return true;
}

void Units::removeEnded(Session* gone) {
    const auto it = std::find_if(sessions_.begin(), sessions_.end(),
                                 [gone](const auto& s) { return s.get() == gone; });
    if (it == sessions_.end()) return;
    const int number = gone->number();
    gone->forget();
    gone->disconnect(this);
    sessions_.erase(it);
    // The settings move down with the units, into groups now free, so the
    // file keeps no gap; a group left out at start stays where it is.
    for (int n = number; n <= count(); ++n) {
        at(n).setNumber(n);
        const QStringList groups = storeFor(1).allGroups();
        for (int g = 2; g < at(n).group(); ++g)
            if (!groups.contains(QStringLiteral("Unit%1").arg(g))) {
                at(n).moveSettings(g);
                break;
            }
        // A name it had by default stays with it.
        at(n).storeName();
    }
    emit changed();
}

bool Units::storeTripAll(bool on) {
    return storeFor(1).saveTexts(QStringLiteral("Bench"),
                                 {{QStringLiteral("TripAll"), on ? QStringLiteral("true")
                                                                 : QStringLiteral("false")}});
}

// With TripAll, a trip on one unit zeroes every other one, each saying why.
void Units::onTrip(Session& tripped, const QString& text) {
    if (!tripAll()) return;
    for (auto& session : sessions_) {
        if (session.get() == &tripped) continue;
        session->unit().request(SetpointSource::AllOutputsOff, {});
        emit message(QStringLiteral("%1: output zeroed: %2 tripped: %3")
                         .arg(ShownName(session->name()), ShownName(tripped.name()), text));
    }
}

void Units::shutdown() {
    if (ending_) return;
    ending_ = true;
    ended_ = 0;
    for (auto& session : sessions_)
        session->shutdown();
}

} // namespace velmora
