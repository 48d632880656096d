#include "recorder/channels.h"

#include "recorder/disk_sync.h"
#include "recorder/line_reader.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <memory>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace velmora {

namespace {

struct OpenFile {
    std::unique_ptr<QFile> file;
    QString canonicalPath;              // to tell when both channels would hold one file
    DiskSync sync;                      // for a file open for output
    std::unique_ptr<LineReader> reader; // for a file open for input
};

std::array<OpenFile, 2>& Table() {
    static std::array<OpenFile, 2> table;
    return table;
}

OpenFile* Slot(int channel) {
    if (channel != RecordChannel && channel != ControlChannel) return nullptr;
    return &Table()[static_cast<size_t>(channel - 1)];
}

bool HeldByOtherChannel(int channel, const QString& path) {
    const OpenFile* other = Slot(channel == RecordChannel ? ControlChannel : RecordChannel);
    if (!other->file) return false;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty() && canonical == other->canonicalPath) return true;
#ifdef Q_OS_UNIX
    // The same file under another name (a hard link) is the same file too.
    struct stat named {
    }, held{};
    return ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           ::fstat(other->file->handle(), &held) == 0 && named.st_dev == held.st_dev &&
           named.st_ino == held.st_ino;
#else
    return false;
#endif
}

OpenResult Open(int channel, const QString& path, QIODevice::OpenMode mode) {
    OpenFile* slot = Slot(channel);
    if (!slot) return OpenResult::Failed;
    if (slot->file) return OpenResult::AlreadyOpen;
    if (PathTooLong(path)) return OpenResult::Failed;
    if (HeldByOtherChannel(channel, path)) return OpenResult::InUse;
    // Only plain files: opening a pipe or a device could block the program
    // for good, and a folder's name is no file at all.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return OpenResult::Failed;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(mode)) return OpenResult::Failed;
    slot->canonicalPath = QFileInfo(path).canonicalFilePath();
    if (mode & QIODevice::WriteOnly)
        slot->sync.start(file->handle());
    else
        slot->reader = std::make_unique<LineReader>(file.get());
    slot->file = std::move(file);
    return OpenResult::Opened;
}

QFile* FileOf(int channel) {
    OpenFile* slot = Slot(channel);
    return slot ? slot->file.get() : nullptr;
}

} // namespace

bool PathTooLong(const QString& path) {
    return QFile::encodeName(path).size() >= kPathMaxBytes;
}

OpenResult OpenChannelForOutput(int channel, const QString& path) {
    // Unbuffered: every write goes to the system at once, nothing waits in
    // the program for a close that a crash would never do.
    return Open(channel, path, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

OpenResult OpenChannelForInput(int channel, const QString& path) {
    return Open(channel, path, QIODevice::ReadOnly);
}

bool ChannelIsOpen(int channel) {
    return FileOf(channel) != nullptr;
}

bool WriteChannel(int channel, const QByteArray& bytes) {
    OpenFile* slot = Slot(channel);
    QFile* file = slot ? slot->file.get() : nullptr;
    if (!file || !file->isWritable()) return false;
    const qint64 before = file->size();
    const bool written = file->write(bytes) == bytes.size();
    // Half a line (a full disk) would not read back as a record: take it away.
    if (!written) file->resize(before);
    const bool flushed = file->flush();
    slot->sync.request();
    return flushed && written;
}

bool ChannelAtEnd(int channel) {
    OpenFile* slot = Slot(channel);
    return !slot || !slot->reader || slot->reader->atEnd();
}

std::optional<QByteArray> ReadChannelLine(int channel) {
    OpenFile* slot = Slot(channel);
    if (!slot || !slot->reader) return std::nullopt;
    return slot->reader->next();
}

void CloseChannel(int channel) {
    OpenFile* slot = Slot(channel);
    if (!slot || !slot->file) return;
    slot->sync.stop(); // every line on the disk before the file is let go
    slot->reader.reset();
    slot->file->close();
    slot->file.reset();
    slot->canonicalPath.clear();
}

void CloseAllChannels() {
    CloseChannel(RecordChannel);
    CloseChannel(ControlChannel);
}

} // namespace velmora
