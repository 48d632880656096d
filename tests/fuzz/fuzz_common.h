#pragma once
// What every fuzz target needs: a QApplication on the offscreen platform and
// a private settings folder.

#include <QApplication>
#include <QDir>
#include <cstdlib>

namespace velmora::fuzz {

inline void StartApplication() {
    static int argc = 1;
    static char name[] = "velmora-fuzz";
    static char* argv[] = {name, nullptr};
    const QString config = QDir::tempPath() + QStringLiteral("/velmora-fuzz-config");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

/// A finding: stop with a report that libFuzzer saves as a crash.
[[noreturn]] inline void Finding() {
    std::abort();
}

} // namespace velmora::fuzz
