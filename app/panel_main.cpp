// The panel: the bench and its windows. Built as a module of its own so that
// `velmora --headless` never loads Qt Gui or Widgets.

#include "app/run.h"

#include "panel/bench_panels.h"
#include "panel/form1.h"
#include "ui/message_box.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstring>

extern "C" __attribute__((visibility("default"))) const char* velmora_panel_build() {
    return VELMORA_BUILD_ID;
}

extern "C" __attribute__((visibility("default"))) int
velmora_run_panel(int argc, char* argv[], const char* remoteArgument, const char* mqttArgument,
                  const char* metricsArgument, const char* programBuild) {
    using namespace velmora;
    // Its parts must be the program's own: a module of another build would
    // read the program's settings and objects with other rules.
    if (std::strcmp(programBuild, VELMORA_BUILD_ID) != 0) {
        std::fprintf(stderr,
                     "velmora: the panel's module is of build %s, the program of build %s: "
                     "install them together\n",
                     VELMORA_BUILD_ID, programBuild);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(ProgramVersion());
    // The desktop matches the window to its menu entry and icon by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.tarnholm.Velmora"));
    // The bench ends the program, once the command on the line is out.
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    Workbench bench({false, QString::fromLocal8Bit(remoteArgument),
                     QString::fromLocal8Bit(mqttArgument), QString::fromLocal8Bit(metricsArgument)});
    // Each unit's panel, made as the units start.
    BenchPanels panels(bench.units(), &bench.remote(), &bench.mqtt(), &bench.store());
    QObject::connect(&bench, &Workbench::signalled, &panels, [&panels] {
        for (int n = 1; n <= panels.count(); ++n)
            panels.panel(n).hide();
    });
    QObject::connect(&bench, &Workbench::ended, &app, &QCoreApplication::quit);
    QObject::connect(&panels, &BenchPanels::closing, &bench, &Workbench::shutdown);
    // What the bench cannot run (a unit left out) is told in a box.
    QObject::connect(&bench.units(), &Units::message, &panels,
                     [](const QString& text) { ShowMessageBox(text, QStringLiteral("Bench")); });
    QString error;
    if (!bench.start(&error)) ShowMessageBox(error, QStringLiteral("Remote control"));
    panels.showAll();
    return QApplication::exec();
}
