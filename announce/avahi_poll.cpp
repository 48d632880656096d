#include "announce/avahi_poll.h"

#include <QSocketNotifier>
#include <memory>
#include <sys/time.h>

// Avahi names these types in its interface and leaves them to the poll.
struct AvahiWatch {
    int fd = -1;
    AvahiWatchEvent wanted{};
    AvahiWatchEvent last{};
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
};

struct AvahiTimeout {
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    std::unique_ptr<velmora::Timer> timer;
};

namespace velmora {

namespace {

void Fire(AvahiWatch* w, AvahiWatchEvent event) {
    w->last = event;
    w->callback(w, w->fd, event, w->userdata);
}

// A notifier is not deleted inside its own signal: it goes at the next turn.
void Retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    notifier->disconnect();
    notifier.release()->deleteLater();
}

void Arm(AvahiWatch* w, AvahiWatchEvent events) {
    w->wanted = events;
    if ((events & AVAHI_WATCH_IN) && !w->read) {
        w->read = std::make_unique<QSocketNotifier>(w->fd, QSocketNotifier::Read);
        QObject::connect(w->read.get(), &QSocketNotifier::activated,
                         [w] { Fire(w, AVAHI_WATCH_IN); });
    } else if (!(events & AVAHI_WATCH_IN)) {
        Retire(w->read);
    }
    if ((events & AVAHI_WATCH_OUT) && !w->write) {
        w->write = std::make_unique<QSocketNotifier>(w->fd, QSocketNotifier::Write);
        QObject::connect(w->write.get(), &QSocketNotifier::activated,
                         [w] { Fire(w, AVAHI_WATCH_OUT); });
    } else if (!(events & AVAHI_WATCH_OUT)) {
        Retire(w->write);
    }
}

qint64 NsUntil(const struct timeval* when) {
    timeval now{};
    gettimeofday(&now, nullptr);
    const qint64 ns = (qint64(when->tv_sec) - now.tv_sec) * kNsPerSecond +
                      (qint64(when->tv_usec) - now.tv_usec) * 1000;
    return std::max<qint64>(0, ns);
}

void SetTimeout(AvahiTimeout* t, const struct timeval* when) {
    if (when)
        t->timer->start(NsUntil(when));
    else
        t->timer->stop();
}

} // namespace

struct AvahiPollFunctions {
    static AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent events,
                                AvahiWatchCallback callback, void* userdata) {
        auto* w = new AvahiWatch;
        w->fd = fd;
        w->callback = callback;
        w->userdata = userdata;
        Arm(w, events);
        return w;
    }
    static void watchUpdate(AvahiWatch* w, AvahiWatchEvent events) { Arm(w, events); }
    static AvahiWatchEvent watchGetEvents(AvahiWatch* w) { return w->last; }
    static void watchFree(AvahiWatch* w) {
        Retire(w->read);
        Retire(w->write);
        delete w;
    }
    static AvahiTimeout* timeoutNew(const AvahiPoll* api, const struct timeval* when,
                                    AvahiTimeoutCallback callback, void* userdata) {
        auto* self = static_cast<AvahiEventLoopPoll*>(api->userdata);
        auto* t = new AvahiTimeout;
        t->callback = callback;
        t->userdata = userdata;
        t->timer = std::make_unique<Timer>(self->clock_, [t] { t->callback(t, t->userdata); });
        SetTimeout(t, when);
        return t;
    }
    static void timeoutUpdate(AvahiTimeout* t, const struct timeval* when) { SetTimeout(t, when); }
    static void timeoutFree(AvahiTimeout* t) { delete t; }
};

AvahiEventLoopPoll::AvahiEventLoopPoll(Clock& clock) : clock_(clock) {
    poll_.userdata = this;
    poll_.watch_new = &AvahiPollFunctions::watchNew;
    poll_.watch_update = &AvahiPollFunctions::watchUpdate;
    poll_.watch_get_events = &AvahiPollFunctions::watchGetEvents;
    poll_.watch_free = &AvahiPollFunctions::watchFree;
    poll_.timeout_new = &AvahiPollFunctions::timeoutNew;
    poll_.timeout_update = &AvahiPollFunctions::timeoutUpdate;
    poll_.timeout_free = &AvahiPollFunctions::timeoutFree;
}

} // namespace velmora
