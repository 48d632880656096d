#include "playback/player.h"

#include "core/constants.h"
#include "playback/playback_plan.h"
#include "playback/playback_rules.h"
#include "recording/record_format.h"
#include "recording/wall_time.h"

#include <algorithm>

namespace velmora {

namespace {

// Until the clock next shows a new second: the moment a record can come due.
qint64 UntilNextSecondNs(const QDateTime& now) {
    return qint64(1000 - now.time().msec()) * kNsPerMs;
}

} // namespace

Player::Player(Clock& clock, PlayerHost host)
    : clock_(clock), host_(std::move(host)), wake_(clock, [this] { step(); }) {}

Player::~Player() = default;

PlaybackStart Player::start(const QString& path, const QString& fileName, QString* why) {
    // A stopped run still finishing its command must end first.
    if (state_ != State::Idle) return PlaybackStart::Busy;
    const auto refuse = [&](const QString& reason) {
        if (why) *why = reason;
        return PlaybackStart::Refused;
    };
    if (PathTooLong(path)) return refuse(path + QStringLiteral(": longer than a path may be"));
    if (NotAPlainFile(path)) return refuse(path + QStringLiteral(": not a plain file"));
    // The plan is worked out with the player's own rules on the model in
    // force now; the records to wait for are kept, so the file is read once.
    const PlanInputs inputs{host_.model(), host_.userLimits(), WallSeconds(clock_.localNow()),
                            std::nullopt};
    std::vector<Entry> entries;
    PlanReading reading =
        ReadPlaybackPlan(path, inputs, [&entries](int line, const RecordVerdict& verdict) {
            if (verdict.skippedAtOnce) return;
            const Record& r = *verdict.record;
            const auto values = ValuesOfTexts(r.voltageText, r.currentText);
            entries.push_back({line, r.date, r.time, values.value_or(Values{})});
        });
    if (!reading.plan) return refuse(reading.error);
    file_ = IdentityOf(path);
    entries_ = std::move(entries);
    next_ = 0;
    reportedSecond_ = -1;
    auto plan = std::make_shared<PlaybackPlan>(std::move(*reading.plan));
    progress_ = PlaybackProgress{fileName, 0, plan->sendable, std::nullopt, 1, true, plan};
    state_ = State::Running;
    report(1, plannedAt(1));
    wake_.start(0);
    return PlaybackStart::Started;
}

void Player::stop() {
    if (state_ != State::Running) return;
    if (wake_.isActive()) {
        // Waiting for a record's second: nothing is on the line.
        wake_.stop();
        finish();
    } else {
        state_ = State::Stopping;
    }
}

// Takes the next record: sends it when its second has come, else waits on.
void Player::step() {
    if (state_ != State::Running) return;
    if (next_ >= entries_.size()) return finish();
    const Entry& entry = entries_[next_];
    const QDateTime now = clock_.localNow();
    if (!StampHasCome(Record{entry.date, entry.time, {}, {}}, now)) {
        // Once a second, so that a countdown shown stays right.
        if (const qint64 second = WallSeconds(now); second != reportedSecond_) {
            reportedSecond_ = second;
            report(entry.line, WallSeconds(entry.date, entry.time));
        }
        wake_.start(UntilNextSecondNs(now));
        return;
    }
    sendDue(entry);
}

void Player::sendDue(const Entry& entry) {
    ++next_;
    const int line = entry.line;
    const auto next = [this, line] {
        if (state_ == State::Stopping) return finish();
        if (state_ != State::Running) return;
        report(line + 1, plannedAt(line + 1));
        wake_.start(0);
    };
    // The door refuses a record past the model's range or the user's limits,
    // or with no model: it is skipped, never clamped.
    const PlayerSend sent = host_.send(SetpointsOf(entry.values), next);
    if (sent == PlayerSend::NoModel)
        host_.message(QString(kMsgVersionNotDefined), QString(kErrorTitle));
    if (sent != PlayerSend::Queued) {
        report(line + 1, plannedAt(line + 1));
        wake_.start(0);
        return;
    }
    ++progress_.sent;
}

void Player::finish() {
    state_ = State::Idle;
    wake_.stop();
    entries_.clear();
    entries_.shrink_to_fit();
    file_.reset();
    progress_.running = false;
    progress_.plan.reset(); // nothing is ahead any more
    if (host_.report) host_.report(progress_);
}

void Player::report(int nextLine, std::optional<qint64> nextAt) {
    progress_.nextLine = nextLine;
    progress_.nextAt = nextAt;
    if (host_.report) host_.report(progress_);
}

// The next command of the plan from `line` on, when the plan holds it.
std::optional<qint64> Player::plannedAt(int line) const {
    const auto& commands = progress_.plan->commands;
    const auto ahead = std::find_if(commands.begin(), commands.end(),
                                    [line](const PlannedCommand& c) { return c.line >= line; });
    if (ahead == commands.end()) return std::nullopt;
    return ahead->at;
}

} // namespace velmora
