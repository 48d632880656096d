#pragma once
// Telling whether two names lead to one file, whatever links lie between.

#include <QString>
#include <optional>

namespace velmora {

/// One file as the system knows it: its device and its number there.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// The file `path` leads to now; nothing when there is none.
std::optional<FileIdentity> IdentityOf(const QString& path);
/// The file open on `fd`.
std::optional<FileIdentity> IdentityOfOpen(int fd);

/// The most bytes a path may have for the system, the closing zero counted
/// (PATH_MAX): a longer name is refused before it reaches the file system.
inline constexpr qsizetype kPathMaxBytes = 4096;

/// Whether the system would refuse `path` for its length alone.
bool PathTooLong(const QString& path);

/// Whether `path` names something that is there but is no plain file (a
/// folder, a pipe, a device): opening it could block for good, or is no
/// file at all.
bool NotAPlainFile(const QString& path);

} // namespace velmora
