#pragma once
// What velmora makes of its command line: --help, --version, --headless,
// --remote [ADDRESS:]PORT, --mqtt HOST[:PORT], --metrics [ADDRESS:]PORT, and
// Qt's own options (-platform, -display, -style, ...); nothing else.

#include <QString>
#include <QStringList>

namespace velmora {

/// What to do after reading the command line, and the text to print.
struct CommandLine {
    enum Action { Run, Help, Version, Error };
    Action action = Run;
    QString text; // the usage, the version line or a one-line error
    bool headless = false;
    QString remote;  // --remote's value as given; empty when not given
    QString mqtt;    // --mqtt's, the same way
    QString metrics; // --metrics's
    QString run;     // --run's file: a run with no window, which ends the program
    int unit = 1;    // --unit's: the unit --run runs on
};

/// Reads the arguments that follow the program's name.
CommandLine ReadCommandLine(const QStringList& arguments);

/// The version, as the build gives it ("0.1").
QString ProgramVersion();

} // namespace velmora
