#pragma once
// What every benchmark sets up: private settings and a QApplication, a raw
// pseudo-terminal for the unit's end, the port opened on it, and figures.

#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "support/cpu_time.h"
#include "support/fake_line.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <pty.h>
#include <termios.h>
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

/// A pseudo-terminal in raw mode: the benchmark plays the unit on `master`
/// (blocking), the program opens `name`.
struct RawPty {
    RawPty() {
        char path[256] = {};
        if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
            master = slave = -1;
            return;
        }
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        name = QString::fromLocal8Bit(path);
    }
    ~RawPty() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;
    bool ok() const { return master >= 0; }

    int master = -1;
    int slave = -1;
    QString name;
};

/// Maps COM2 to `device` and opens the port there as the program does.
inline bool OpenCom2On(const QString& device) {
    SavePortMapping(2, device);
    Shared.PortNumber = 2;
    OpenPort();
    return MSComm1() && MSComm1()->PortOpen();
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
