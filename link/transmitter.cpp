#include "link/transmitter.h"

#include "unit/command.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr qint64 kCharacterPauseNs = 10'000'000;
// How often CTS is looked at while the unit holds it back; the line has no
// event for a modem-line change.
constexpr qint64 kCtsPollNs = 2'000'000;

} // namespace

Transmitter::Transmitter(TransmitPort& port, Clock& clock)
    : port_(port), clock_(clock), timer_(
                                      clock, [this] { drive(); }, TimerGrain::Microsecond),
      lostTimer_(clock, [this] {
          // Each lost command's pauses end in the order they began.
          const qint64 now = clock_.monotonicNs();
          while (!lost_.empty() && lost_.front().first <= now) {
              const Done done = std::move(lost_.front().second);
              lost_.pop_front();
              if (done) done(CommandEnd::Lost);
          }
          if (!lost_.empty()) lostTimer_.startAt(lost_.front().first);
      }) {}

Transmitter::~Transmitter() = default;

void Transmitter::send(const QByteArray& command, Done done) {
    if (!port_.lineOpen()) {
        // Nothing can go out on a closed port, and waiting for its CTS would
        // never end: the command is lost.
        loseLater(clock_.monotonicNs(), std::move(done));
        return;
    }
    Pending pending;
    pending.text = command;
    pending.done = std::move(done);
    pending.askedAtNs = clock_.monotonicNs();
    queue_.push_back(std::move(pending));
    // Events already waiting are handled before CTS is looked at.
    if (!timer_.isActive()) timer_.start(0);
}

// A lost command still takes its eight pauses from when it was asked for,
// so a playback keeps its pace and sees a stop request while the line is away.
void Transmitter::loseLater(qint64 askedAtNs, Done done) {
    const qint64 pausesEnd =
        std::max(askedAtNs + kCommandLength * kCharacterPauseNs, clock_.monotonicNs());
    const auto at = std::upper_bound(lost_.begin(), lost_.end(), pausesEnd,
                                     [](qint64 t, const auto& entry) { return t < entry.first; });
    lost_.emplace(at, pausesEnd, std::move(done));
    lostTimer_.startAt(lost_.front().first);
}

void Transmitter::finishHead(CommandEnd end) {
    Done done = std::move(queue_.front().done);
    const qint64 askedAt = queue_.front().askedAtNs;
    queue_.pop_front();
    if (end == CommandEnd::Lost)
        loseLater(askedAt, std::move(done));
    else if (done)
        done(end);
    port_.finished();
}

// Hands position `sent + 1` of the command to the line. Past the end of a
// shorter text there is nothing to write, but the pause is taken all the
// same; a write that fails loses that character only.
void Transmitter::writeNext(Pending& command) {
    const int position = command.sent++;
    if (position < command.text.size()) port_.write(command.text.mid(position, 1));
    if (position == 0) port_.started(command.text);
}

// Takes every step on the queue that is due now and arranges to be called
// again for the next one. A `done` called here may queue another command.
void Transmitter::drive() {
    while (!queue_.empty()) {
        Pending& head = queue_.front();
        if (!port_.lineOpen()) {
            // The port went away (closed, or another chosen): what is left of
            // this command cannot reach the unit.
            finishHead(CommandEnd::Lost);
            continue;
        }
        if (!head.ctsSeen) {
            if (!port_.clearToSend()) {
                timer_.start(kCtsPollNs);
                return;
            }
            head.ctsSeen = true;
            head.line = port_.lineIdentity();
        } else if (port_.lineIdentity() != head.line) {
            // Another port was chosen meanwhile: the rest of this command would
            // reach a device that never saw its start. (A reset of the same
            // port after a spoilt frame goes on with the command.)
            finishHead(CommandEnd::Lost);
            continue;
        }
        const qint64 now = clock_.monotonicNs();
        if (now < nextCharacterAt_) {
            timer_.startAt(nextCharacterAt_);
            return;
        }
        if (head.sent >= kCommandLength) {
            finishHead(CommandEnd::Sent);
            continue;
        }
        writeNext(head);
        nextCharacterAt_ = clock_.monotonicNs() + kCharacterPauseNs;
        timer_.startAt(nextCharacterAt_);
        return;
    }
    timer_.stop();
    for (auto waiting = std::exchange(whenIdle_, {}); auto& then : waiting)
        then();
}

void Transmitter::whenIdle(std::function<void()> then) {
    whenIdle_.push_back(std::move(then));
    if (!timer_.isActive()) timer_.start(0);
}

void Transmitter::dropWaiting() {
    // The head has begun once its first character is out; the rest wait.
    std::deque<Pending> dropped;
    const bool headOnLine = commandOnLine();
    while (queue_.size() > (headOnLine ? 1u : 0u)) {
        dropped.push_front(std::move(queue_.back()));
        queue_.pop_back();
    }
    if (queue_.empty()) timer_.start(0); // tells who waits for the queue to run dry
    for (Pending& command : dropped)
        if (command.done) command.done(CommandEnd::Dropped);
}

void Transmitter::lineLost() {
    while (!queue_.empty())
        finishHead(CommandEnd::Lost);
    timer_.start(0);
}

} // namespace velmora
