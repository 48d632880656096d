#pragma once
// Reading and writing a whole file, for tests that set up or check one, and
// running the commands of velmora-files, here or as the program itself.

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace velmora::test {

/// The file's bytes; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Creates or empties the file and writes the bytes; false when it could not.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

/// A file beside the test program, where bare names (as remote control
/// gives them) are resolved; named for this process and `suffix`, removed at
/// the end.
struct BesideTheProgram {
    explicit BesideTheProgram(const char* suffix)
        : name(QStringLiteral("test-%1-%2").arg(QCoreApplication::applicationPid()).arg(suffix)),
          path(QCoreApplication::applicationDirPath() + '/' + name) {}
    ~BesideTheProgram() { QFile::remove(path); }
    QString name, path;
};

/// What a command of velmora-files, run here, printed and returned.
struct Outcome {
    int code;
    QString out;
    QString err;
};

inline Outcome RunCommand(int (*command)(const QStringList&, QTextStream&, QTextStream&),
                          const QStringList& args) {
    Outcome run{};
    QTextStream out(&run.out), err(&run.err);
    run.code = command(args, out, err);
    out.flush();
    err.flush();
    return run;
}

/// What velmora-files printed and returned; -2 when it crashed or hung.
struct FilesRun {
    int exitCode = -1;
    QByteArray out, err;
};

/// Runs velmora-files; `inChild` runs in the child before the program starts
/// (limits), and `standardOutput` names a file its output goes to instead,
/// emptied first or appended to.
inline FilesRun RunFiles(const QStringList& args, const std::function<void()>& inChild = {},
                         const QString& standardOutput = {},
                         QIODevice::OpenMode mode = QIODevice::Truncate) {
    QProcess p;
    if (inChild) p.setChildProcessModifier(inChild);
    if (!standardOutput.isEmpty()) p.setStandardOutputFile(standardOutput, mode);
    p.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-files"), args);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace velmora::test
