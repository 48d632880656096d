#include "core/end_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace velmora {

namespace {

sigset_t EndSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

} // namespace

void BlockEndSignals() {
    const sigset_t set = EndSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The signals are read from a descriptor instead of a handler: no handler
// runs at an arbitrary moment, and nothing needs a global to reach.
EndSignals::EndSignals(QObject* parent) : QObject(parent) {
    const sigset_t set = EndSignalSet();
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::read);
}

EndSignals::~EndSignals() {
    if (fd_ >= 0) ::close(fd_);
}

void EndSignals::read() {
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == ssize_t(sizeof info))
        emit asked(int(info.ssi_signo));
}

} // namespace velmora
