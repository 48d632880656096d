// velmora: the control panel for the bench power supply.

#include "core/command_line.h"
#include "panel/form1.h"
#include "panel/lifecycle.h"
#include "panel/message_box.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
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
    velmora::InstallMessageBoxes();
    velmora::Form1 form;
    velmora::EndOnSignals(&form);
    velmora::Startup();
    form.show();
    return QApplication::exec();
}
