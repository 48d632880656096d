#pragma once
// What every benchmark sets up: private settings and a QApplication, a raw
// pseudo-terminal (the tests' own) for the unit's end, a session's port
// opened on it, the event loop run for a while, and figures.

#include "core/clock.h"
#include "session/session.h"
#include "support/cpu_time.h"
#include "support/fake_line.h"
#include "support/pty_pair.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <unistd.h>

namespace velmora::bench {

/// The QApplication of one benchmark, with settings in a folder of its own
/// so a run never touches the user's real ones.
class BenchApp {
  public:
    BenchApp(int& argc, char** argv)
        : privateSettings_(UsePrivateSettings(config_)), app_(argc, argv) {}

  private:
    static bool UsePrivateSettings(const QTemporaryDir& config) {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return config.isValid();
    }

    QTemporaryDir config_;
    bool privateSettings_;
    QApplication app_;
};

/// The monotonic clock, in ns.
inline qint64 NowNs() {
    return RealClock().monotonicNs();
}

/// Maps COM2 to `device` and chooses it, as the settings window does.
inline bool OpenCom2On(Session& session, const QString& device) {
    session.unit().mapPort(2, device);
    session.unit().choosePort(2);
    return session.unit().linkOpen();
}

/// Runs the event loop for `ms` (sleeping in the dispatcher between events).
inline void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Runs the event loop until `done` holds (looked at every millisecond) or
/// `timeoutMs` has passed; whether it holds.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    look.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done()) loop.exec();
    return done();
}

/// Smallest, mean and largest of a series of figures.
struct Figures {
    double min = 1e18, max = 0, sum = 0;
    int count = 0;
    void add(double v) {
        min = std::min(min, v);
        max = std::max(max, v);
        sum += v;
        ++count;
    }
    double mean() const { return count ? sum / count : 0; }
};

} // namespace velmora::bench
