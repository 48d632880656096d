// The panel: the session, remote control and the windows. Built as a module
// of its own so that `velmora --headless` never loads Qt Gui or Widgets.

#include "app/run.h"

#include "core/clock.h"
#include "core/command_line.h"
#include "core/end_signals.h"
#include "core/settings_store.h"
#include "link/serial_line.h"
#include "panel/form1.h"
#include "remote/remote_server.h"
#include "session/session.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

extern "C" __attribute__((visibility("default"))) int
velmora_run_panel(int argc, char* argv[], const char* remoteArgument) {
    using namespace velmora;
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(ProgramVersion());
    // The desktop matches the window to its menu entry and icon by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.tarnholm.Velmora"));
    // The session ends the program, once the command on the line is out.
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    SettingsStore store;
    const RemoteSettings remote =
        RemoteSettingsForRun(store, QString::fromLocal8Bit(remoteArgument), false);
    RealClock clock;
    Session session(clock, MakeQtSerialLine(), std::move(store));
    RemoteServer server(session);
    Form1 form(session, &server);
    EndSignals endSignals;
    QObject::connect(&endSignals, &EndSignals::asked, &session, [&form, &session] {
        form.hide();
        session.shutdown();
    });
    QObject::connect(&session, &Session::ended, &app, &QCoreApplication::quit);
    session.start();
    QString error;
    if (!server.apply(remote, &error))
        ShowMessageBox(QStringLiteral("Remote control cannot listen: ") + error,
                       QStringLiteral("Remote control"));
    form.show();
    return QApplication::exec();
}
