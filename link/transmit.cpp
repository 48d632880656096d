// Sending set-point commands. Waits let other handlers run, and those may ask
// for a command of their own (a button released during a playback, two
// releases in quick succession). The line carries one command at a time:
// commands queue, and whichever SendCommand is running on top of the stack
// carries on with the command at the head of the queue. So the characters of
// a command always go out together and in order, 10 ms apart, and each
// SendCommand returns once its own command is out.

#include "core/constants.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "link/port.h"
#include "link/serial_comm.h"

#include <deque>
#include <memory>

namespace velmora {

namespace {

constexpr qint64 kCharacterPauseNs = 10'000'000;
// How often CTS is looked at while the unit holds it back; the line has no
// event for a modem-line change.
constexpr qint64 kCtsPollNs = 2'000'000;

struct PendingCommand {
    QByteArray text;
    int sent = 0;          // positions handed to the line so far, 0..8
    bool ctsSeen = false;  // CTS is tested once, before the first character
    bool finished = false;
};

struct Transmitter {
    std::deque<std::shared_ptr<PendingCommand>> queue;
    qint64 nextCharacterAt = 0;  // monotonic ns: the pause after the last write ends here
};

Transmitter& Tx() {
    static Transmitter tx;
    return tx;
}

bool PortIsOpen() { return MSComm1 && MSComm1->PortOpen(); }

void Finish(const std::shared_ptr<PendingCommand>& command) {
    command->finished = true;
    auto& queue = Tx().queue;
    if (!queue.empty() && queue.front() == command) queue.pop_front();
}

// One step on the command at the head of the queue. Every step that waits may
// run nested SendCommands that advance the same queue, so the state is read
// anew after each step.
void Step() {
    auto& tx = Tx();
    const auto head = tx.queue.front();
    if (!head->ctsSeen) {
        ProcessPendingEvents();
        if (head->finished) return;
        if (!PortIsOpen()) {
            Finish(head);  // the line went away while waiting for the unit
            return;
        }
        if (MSComm1->CTSHolding())
            head->ctsSeen = true;
        else
            SleepForEvents(kCtsPollNs);
        return;
    }
    const qint64 now = MonotonicNs();
    if (now < tx.nextCharacterAt) {
        WaitSeconds(double(tx.nextCharacterAt - now) / 1e9);
        return;
    }
    if (head->sent >= kCommandLength) {
        Finish(head);
        return;
    }
    const int position = head->sent++;
    Shared.TransmitIndex = static_cast<qint16>(position + 1);
    // Past the end of a shorter text there is nothing to write, but the pause
    // is taken all the same. A write that fails loses that character only.
    if (position < head->text.size() && MSComm1) MSComm1->setOutput(head->text.mid(position, 1));
    tx.nextCharacterAt = MonotonicNs() + kCharacterPauseNs;
    if (position + 1 == kCommandLength) Shared.TransmitIndex = kCommandLength + 1;
    WaitSeconds(0.01);
}

} // namespace

void SendCommand(const QByteArray& command) {
    if (!PortIsOpen()) return;
    auto mine = std::make_shared<PendingCommand>();
    mine->text = command;
    Tx().queue.push_back(mine);
    while (!mine->finished && !Tx().queue.empty()) Step();
}

} // namespace velmora
