#include "recording/file_names.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velmora {

FileFolders CurrentFileFolders() {
    const QString program = QCoreApplication::applicationDirPath();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return {program, QFileInfo(program).isWritable(), documents + QStringLiteral("/Velmora")};
}

QString ResolveFileName(const QString& nameAsTyped, const FileFolders& folders) {
    if (QDir::isAbsolutePath(nameAsTyped)) return nameAsTyped;
    const QString& folder = folders.programWritable ? folders.program : folders.documents;
    return folder + QDir::separator() + nameAsTyped;
}

QString FilePathFor(const QString& nameAsTyped) {
    return ResolveFileName(nameAsTyped, CurrentFileFolders());
}

QString ProgramFilePath(const QString& nameAsTyped) {
    const FileFolders folders = CurrentFileFolders();
    // A failure shows when the file is opened, with the name as typed.
    if (!QDir::isAbsolutePath(nameAsTyped) && !folders.programWritable)
        QDir().mkpath(folders.documents);
    return ResolveFileName(nameAsTyped, folders);
}

} // namespace velmora
