// Each send handles events until its own command is out and returns after
// the pause that follows its eighth character. Writing and reading CTS handle
// no events, so drive() never runs inside itself.

#include "link/transmitter.h"

#include "core/constants.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "link/port.h"
#include "link/serial_comm.h"

#include <chrono>
#include <thread>

namespace velmora {

namespace {

constexpr qint64 kCharacterPauseNs = 10'000'000;
// How often CTS is looked at while the unit holds it back; the line has no
// event for a modem-line change.
constexpr qint64 kCtsPollNs = 2'000'000;
// The transmit timer wakes a waiting sender; this only bounds a lost wake-up.
constexpr qint64 kSenderWakeNs = 20'000'000;

} // namespace

struct Transmitter::Pending {
    QByteArray text;
    int sent = 0;         // positions handed to the line so far, 0..8
    bool ctsSeen = false; // CTS is tested once, before the first character
    qint16 port = 0;      // where the first character went
    QString device;
    bool finished = false;
    bool lost = false; // it could not go out whole
};

Transmitter::Transmitter(SerialComm& comm) : comm_(comm) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { drive(); });
}

Transmitter::~Transmitter() {
    for (const auto& command : queue_)
        command->finished = true;
}

void Transmitter::schedule(qint64 inNs) {
    // Rounded up: a wake-up a little early would only be rescheduled.
    timer_.start(static_cast<int>((inNs + 999'999) / 1'000'000));
}

void Transmitter::finishHead(bool lost) {
    queue_.front()->finished = true;
    queue_.front()->lost = lost;
    queue_.pop_front();
}

// Hands position `sent + 1` of the command to the line. Past the end of a
// shorter text there is nothing to write, but the pause is taken all the
// same; a write that fails loses that character only.
void Transmitter::writeNext(Pending& command) {
    const int position = command.sent++;
    Shared.TransmitIndex = static_cast<qint16>(position + 1);
    if (position < command.text.size()) comm_.setOutput(command.text.mid(position, 1));
    if (position == 0) emit comm_.CommandSent(command.text);
}

// Takes every step on the queue that is due now and arranges to be called
// again for the next one.
void Transmitter::drive() {
    while (!queue_.empty()) {
        Pending& head = *queue_.front();
        if (!comm_.PortOpen()) {
            // The port went away (closed, or another chosen): what is left of
            // this command cannot reach the unit.
            finishHead(true);
            continue;
        }
        if (!head.ctsSeen) {
            if (!comm_.CTSHolding()) {
                schedule(kCtsPollNs);
                return;
            }
            head.ctsSeen = true;
            head.port = comm_.CommPort();
            head.device = comm_.device();
        } else if (comm_.CommPort() != head.port || comm_.device() != head.device) {
            // Another port was chosen meanwhile: the rest of this command would
            // reach a device that never saw its start. (A reset of the same
            // port after a spoilt frame goes on with the command.)
            finishHead(true);
            continue;
        }
        const qint64 now = MonotonicNs();
        if (now < nextCharacterAt_) {
            schedule(nextCharacterAt_ - now);
            return;
        }
        if (head.sent >= kCommandLength) {
            Shared.TransmitIndex = kCommandLength + 1;
            finishHead();
            continue;
        }
        writeNext(head);
        nextCharacterAt_ = MonotonicNs() + kCharacterPauseNs;
        schedule(kCharacterPauseNs);
        return;
    }
    timer_.stop();
}

void Transmitter::dropWaiting() {
    // The head has begun once its first character is out; the rest wait.
    const bool headOnLine = !queue_.empty() && queue_.front()->sent > 0;
    const auto keep = headOnLine ? queue_.begin() + 1 : queue_.begin();
    for (auto it = keep; it != queue_.end(); ++it)
        (*it)->finished = true;
    queue_.erase(keep, queue_.end());
    if (queue_.empty()) timer_.stop();
}

void Transmitter::lineLost() {
    while (!queue_.empty())
        finishHead(true);
    timer_.stop();
}

void Transmitter::finishOnLine() {
    dropWaiting();
    if (queue_.empty()) return;
    Pending& head = *queue_.front();
    timer_.stop();
    while (comm_.PortOpen() && head.sent < kCommandLength) {
        const qint64 wait = nextCharacterAt_ - MonotonicNs();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
        writeNext(head);
        nextCharacterAt_ = MonotonicNs() + kCharacterPauseNs;
    }
    finishHead();
}

void Transmitter::send(const QByteArray& command) {
    const qint64 start = MonotonicNs();
    auto mine = std::make_shared<Pending>();
    mine->text = command;
    // Nothing can go out on a closed port, and waiting for its CTS would
    // never end: the command is lost.
    if (comm_.PortOpen())
        queue_.push_back(mine);
    else
        mine->finished = mine->lost = true;
    // Events are handled at least once before CTS is looked at.
    ProcessPendingEvents();
    if (!mine->finished) drive();
    while (!mine->finished)
        SleepForEvents(kSenderWakeNs);
    // A lost command still takes its eight pauses, so a playback keeps its
    // pace and sees a stop request while the line is away.
    const qint64 pausesEnd = start + kCommandLength * kCharacterPauseNs;
    for (qint64 now = MonotonicNs(); mine->lost && now < pausesEnd; now = MonotonicNs())
        SleepForEvents(pausesEnd - now);
}

void SendCommand(const QByteArray& command) {
    if (SerialComm* comm = MSComm1()) comm->sendCommand(command);
}

void DropWaitingCommands() {
    if (SerialComm* comm = MSComm1()) comm->dropWaitingCommands();
}

} // namespace velmora
