#pragma once
// Where the record and control file names that the user types lead: the
// program's folder while the user may write there, else the "Velmora" folder
// in the user's documents folder (an installed program's folder is not the
// user's to write in).

#include <QString>

namespace velmora {

/// The folders a relative file name may be taken from.
struct FileFolders {
    QString program;
    bool programWritable = false;
    QString documents; // the documents folder's "Velmora"
};

/// The folders of this run, as they are now.
FileFolders CurrentFileFolders();

/// The file a name as typed stands for: the folder, the platform's separator
/// and the name exactly as typed; a name that is an absolute path stays as it is.
QString ResolveFileName(const QString& nameAsTyped, const FileFolders& folders);

/// The file a name as typed stands for in this run; creates nothing. For
/// showing the user where a name leads.
QString FilePathFor(const QString& nameAsTyped);

/// The file a name as typed stands for in this run, for opening it: the
/// documents folder's "Velmora" is created when the name leads into it.
QString ProgramFilePath(const QString& nameAsTyped);

} // namespace velmora
