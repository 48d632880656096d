// velmora: the control panel for the bench power supply.

#include "core/clock.h"
#include "core/command_line.h"
#include "core/end_signals.h"
#include "core/settings_store.h"
#include "link/serial_line.h"
#include "panel/form1.h"
#include "session/session.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Before any thread starts, so that none of them ends the program at once.
    velmora::BlockEndSignals();
    // Read before the application object: --help and --version need no display.
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

    QApplication app(argc, argv);
    QApplication::setApplicationVersion(velmora::ProgramVersion());
    // The desktop matches the window to its menu entry and icon by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.tarnholm.Velmora"));
    // The session ends the program, once the command on the line is out.
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    velmora::RealClock clock;
    velmora::Session session(clock, velmora::MakeQtSerialLine(), velmora::SettingsStore());
    velmora::Form1 form(session);
    velmora::EndSignals endSignals;
    QObject::connect(&endSignals, &velmora::EndSignals::asked, &session, [&form, &session] {
        form.hide();
        session.shutdown();
    });
    QObject::connect(&session, &velmora::Session::ended, &app, &QCoreApplication::quit);
    session.start();
    form.show();
    return QApplication::exec();
}
