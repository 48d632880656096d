// velmora: the control panel for the bench power supply, or with --headless
// a bench with no window.

#include "app/run.h"
#include "core/command_line.h"
#include "core/end_signals.h"
#include "metrics/metrics_settings.h"
#include "mqtt/mqtt_settings.h"
#include "remote/remote_settings.h"

#include <QByteArray>
#include <QStringList>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// The panel's module lies beside the program: in a build in ../lib/velmora,
// installed in the private library folder the build names.
int RunPanel(int argc, char* argv[], const velmora::CommandLine& line) {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const QByteArray path = n > 0 ? QByteArray(self, int(n)) : QByteArray("./velmora");
    const QByteArray dir = path.left(path.lastIndexOf('/'));
    void* module = nullptr;
    for (const char* relative : {VELMORA_PANEL_MODULE_INSTALLED, VELMORA_PANEL_MODULE_BUILD}) {
        module = ::dlopen((dir + '/' + relative).constData(), RTLD_NOW | RTLD_LOCAL);
        if (module) break;
    }
    if (!module) {
        std::fprintf(stderr, "velmora: the panel's module cannot be loaded: %s\n", ::dlerror());
        return 1;
    }
    using Build = const char* (*)();
    using Run = int (*)(int, char**, const char*, const char*, const char*, const char*);
    const auto build = reinterpret_cast<Build>(::dlsym(module, "velmora_panel_build"));
    const auto run = reinterpret_cast<Run>(::dlsym(module, "velmora_run_panel"));
    if (!build || !run) {
        std::fprintf(stderr,
                     "velmora: the panel's module is not of this program's build %s, or "
                     "damaged: %s\n",
                     VELMORA_BUILD_ID, ::dlerror());
        return 1;
    }
    if (std::strcmp(build(), VELMORA_BUILD_ID) != 0) {
        std::fprintf(stderr,
                     "velmora: the panel's module is of build %s, the program of build %s: "
                     "install them together\n",
                     build(), VELMORA_BUILD_ID);
        return 1;
    }
    const QByteArray remote = line.remote.toLocal8Bit(), mqtt = line.mqtt.toLocal8Bit(),
                     metrics = line.metrics.toLocal8Bit();
    return run(argc, argv, remote.constData(), mqtt.constData(), metrics.constData(),
               VELMORA_BUILD_ID);
}

} // namespace

int main(int argc, char* argv[]) {
    // Before any thread starts, so that none of them ends the program at once.
    velmora::BlockEndSignals();
    // Read before any application object: --help and --version need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const velmora::CommandLine line = velmora::ReadCommandLine(arguments);
    if (line.action != velmora::CommandLine::Run) {
        const bool error = line.action == velmora::CommandLine::Error;
        std::fputs(line.text.toLocal8Bit().constData(), error ? stderr : stdout);
        if (error) std::fputc('\n', stderr);
        return error ? 2 : 0;
    }
    for (const QString& problem :
         {velmora::RemoteArgumentProblem(line.remote), velmora::MqttArgumentProblem(line.mqtt),
          velmora::MetricsArgumentProblem(line.metrics)}) {
        if (problem.isEmpty()) continue;
        std::fprintf(stderr, "velmora: %s\n", problem.toLocal8Bit().constData());
        return 2;
    }
    if (line.headless) return velmora::RunHeadless(argc, argv, line);
    return RunPanel(argc, argv, line);
}
