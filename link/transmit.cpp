// Sending set-point commands. The line carries one command at a time:
// commands queue, and a timer hands the head of the queue to the line, one
// character per write, 10 ms apart. The timer fires in whatever wait happens
// to be running (the sender's own, a button held meanwhile, a message box), so
// a command's characters go out together and in order even while another
// handler runs inside one of its pauses. Each SendCommand handles events until
// its own command is out and returns after the pause that follows its eighth
// character.

#include "core/constants.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "link/port.h"
#include "link/serial_comm.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <memory>

namespace velmora {

namespace {

constexpr qint64 kCharacterPauseNs = 10'000'000;
// How often CTS is looked at while the unit holds it back; the line has no
// event for a modem-line change.
constexpr qint64 kCtsPollNs = 2'000'000;
// The transmit timer wakes a waiting sender; this only bounds a lost wake-up.
constexpr qint64 kSenderWakeNs = 20'000'000;

struct PendingCommand {
    QByteArray text;
    int sent = 0;         // positions handed to the line so far, 0..8
    bool ctsSeen = false; // CTS is tested once, before the first character
    QString device;       // where the first character went
    bool finished = false;
};

struct Transmitter {
    std::deque<std::shared_ptr<PendingCommand>> queue;
    qint64 nextCharacterAt = 0; // monotonic ns: the pause after the last write ends here
    QPointer<QTimer> timer;     // belongs to the application object
};

Transmitter& Tx() {
    static Transmitter tx;
    return tx;
}

bool PortIsOpen() {
    return MSComm1 && MSComm1->PortOpen();
}

void Drive();

void ScheduleDrive(qint64 inNs) {
    auto& tx = Tx();
    if (!tx.timer) {
        tx.timer = new QTimer(QCoreApplication::instance());
        tx.timer->setSingleShot(true);
        tx.timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(tx.timer, &QTimer::timeout, tx.timer, [] { Drive(); });
    }
    // Rounded up: a wake-up a little early would only be rescheduled.
    tx.timer->start(static_cast<int>((inNs + 999'999) / 1'000'000));
}

void FinishHead() {
    auto& queue = Tx().queue;
    queue.front()->finished = true;
    queue.pop_front();
}

// Hands position `sent + 1` of the command to the line. Past the end of a
// shorter text there is nothing to write, but the pause is taken all the
// same; a write that fails loses that character only.
void WriteNextCharacter(PendingCommand& command) {
    const int position = command.sent++;
    Shared.TransmitIndex = static_cast<qint16>(position + 1);
    if (position == 0) emit MSComm1->CommandSent(command.text);
    if (position < command.text.size()) MSComm1->setOutput(command.text.mid(position, 1));
}

// Takes every step on the queue that is due now and arranges to be called
// again for the next one. Writing and reading CTS handle no events, so this
// never runs inside itself.
void Drive() {
    auto& tx = Tx();
    while (!tx.queue.empty()) {
        PendingCommand& head = *tx.queue.front();
        if (!PortIsOpen()) {
            // The port went away (closed, or another chosen): what is left of
            // this command cannot reach the unit.
            FinishHead();
            continue;
        }
        if (!head.ctsSeen) {
            if (!MSComm1->CTSHolding()) {
                ScheduleDrive(kCtsPollNs);
                return;
            }
            head.ctsSeen = true;
            head.device = MSComm1->device();
        } else if (MSComm1->device() != head.device) {
            // Another port was chosen meanwhile: the rest of this command would
            // reach a device that never saw its start. (A reset of the same
            // port after a spoilt frame goes on with the command.)
            FinishHead();
            continue;
        }
        const qint64 now = MonotonicNs();
        if (now < tx.nextCharacterAt) {
            ScheduleDrive(tx.nextCharacterAt - now);
            return;
        }
        if (head.sent >= kCommandLength) {
            Shared.TransmitIndex = kCommandLength + 1;
            FinishHead();
            continue;
        }
        WriteNextCharacter(head);
        tx.nextCharacterAt = MonotonicNs() + kCharacterPauseNs;
        ScheduleDrive(kCharacterPauseNs);
        return;
    }
    if (tx.timer) tx.timer->stop();
}

} // namespace

void DropWaitingCommands() {
    auto& queue = Tx().queue;
    const bool headOnLine = !queue.empty() && queue.front()->sent > 0;
    while (queue.size() > (headOnLine ? 1u : 0u)) {
        queue.back()->finished = true;
        queue.pop_back();
    }
}

void SendCommand(const QByteArray& command) {
    // Nothing can go out on a closed port, and waiting for its CTS would
    // never end.
    if (!PortIsOpen()) return;
    auto mine = std::make_shared<PendingCommand>();
    mine->text = command;
    Tx().queue.push_back(mine);
    // Events are handled at least once before CTS is looked at.
    ProcessPendingEvents();
    Drive();
    while (!mine->finished)
        SleepForEvents(kSenderWakeNs);
}

} // namespace velmora
