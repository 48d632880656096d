#include "panel/lifecycle.h"

#include "core/settings_store.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "recorder/channels.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

void Startup() {
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    LoadSettings();
    OpenPort();
}

void ReleaseResources() {
    CloseAllChannels();
    ClosePort();
}

namespace {

// The write end of the pipe the end signals are passed through: a signal
// handler can reach nothing else.
int endSignalPipe = -1;

void OnEndSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(endSignalPipe, &byte, 1);
}

} // namespace

void EndOnSignals(QObject* owner) {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
    endSignalPipe = ends[1];
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, [] { Shutdown(); });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void Shutdown() {
    // A command cut short would leave the unit a fragment that it may join
    // to the next command it gets.
    if (SerialComm* comm = MSComm1()) comm->finishCommandOnLine();
    ReleaseResources();
    std::fflush(nullptr);
    // Leaving through the event loop would resume every handler suspended in
    // a wait (a playback, a held button); ending here keeps them from
    // sending anything more to the unit.
    std::_Exit(0);
}

} // namespace velmora
