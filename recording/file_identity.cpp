#include "recording/file_identity.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace velmora {

std::optional<FileIdentity> IdentityOf(const QString& path) {
    struct stat info {};
    if (PathTooLong(path) || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

std::optional<FileIdentity> IdentityOfOpen(int fd) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

bool PathTooLong(const QString& path) {
    return QFile::encodeName(path).size() >= kPathMaxBytes;
}

bool NotAPlainFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
}

} // namespace velmora
