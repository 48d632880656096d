#pragma once
// What every benchmark sets up: private settings and a QApplication, a raw
// pseudo-terminal (the tests' own) for the unit's end, the port opened on it, and figures.

#include "core/settings_store.h"
#include "core/state.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "support/cpu_time.h"
#include "support/fake_line.h"
#include "support/pty_pair.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
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
