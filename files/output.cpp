#include "files/output.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr qint64 kBlock = 64 * 1024;

QString Reason(int error) {
    return qt_error_string(error);
}

// The permissions a file created now would get.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The folder is synced so that the rename itself survives a power cut; the
// file is already in place, so a failure here changes nothing for the user.
void SyncFolder(const QByteArray& file) {
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath());
    const int descriptor = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    ::fsync(descriptor);
    ::close(descriptor);
}

} // namespace

bool DescriptorDevice::drain() {
    if (failure_) return false;
    const bool written = put(held_.constData(), held_.size());
    held_.clear();
    return written;
}

qint64 DescriptorDevice::writeData(const char* data, qint64 size) {
    if (failure_) return -1;
    if (held_.size() + size <= kBlock) {
        held_.append(data, size);
        return size;
    }
    if (!drain()) return -1;
    if (size < kBlock) {
        held_.append(data, size);
        return size;
    }
    // A long line goes out as it is, not copied once more.
    return put(data, size) ? size : -1;
}

bool DescriptorDevice::put(const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, data, size_t(size));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            fail(written < 0 ? errno : EIO);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

void DescriptorDevice::fail(int error) {
    if (failure_) return;
    failure_ = error;
    setErrorString(Reason(error));
}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::create() {
    // Through a link, the file it points to is replaced, not the link.
    const QFileInfo info(path_);
    target_ = QFile::encodeName(!info.isSymLink() ? info.absoluteFilePath()
                                : info.exists()   ? info.canonicalFilePath()
                                                  : info.symLinkTarget());
    struct stat existing {};
    const bool replaces = ::stat(target_.constData(), &existing) == 0;
    mode_t mode = 0;
    if (replaces) {
        if (S_ISDIR(existing.st_mode)) return refuse(QStringLiteral("it is a folder"));
        if (!S_ISREG(existing.st_mode)) return refuse(QStringLiteral("not a regular file"));
        if (::access(target_.constData(), W_OK) != 0) return refuse(errno);
        mode = existing.st_mode & 07777;
    } else if (errno != ENOENT) {
        return refuse(errno);
    } else {
        mode = NewFileMode();
    }
    const QFileInfo target(QFile::decodeName(target_));
    QByteArray name =
        QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName()) +
        ".XXXXXX";
    const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0) return refuse(errno);
    temporary_ = name;
    setDescriptor(descriptor);
    if (::fchmod(descriptor, mode) != 0) return refuse(errno);
    if (replaces && ::fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
        // Only root may give a file away; anyone else's copy stays theirs.
    }
    return open(QIODevice::WriteOnly);
}

bool OutputFile::commit() {
    if (temporary_.isEmpty()) return false;
    if (drain() && ::fsync(descriptor()) != 0 && errno != EINVAL) fail(errno);
    const int closed = ::close(descriptor());
    setDescriptor(-1);
    if (closed != 0) fail(errno);
    close();
    if (!failure() && ::rename(temporary_.constData(), target_.constData()) != 0) fail(errno);
    if (failure()) return refuse(failure());
    temporary_.clear();
    SyncFolder(target_);
    return true;
}

QString OutputFile::error() const {
    const QString reason = reason_.isEmpty() && failure() ? Reason(failure()) : reason_;
    return QStringLiteral("cannot write ") + path_ + QStringLiteral(": ") + reason;
}

bool OutputFile::refuse(const QString& reason) {
    reason_ = reason;
    discard();
    return false;
}

bool OutputFile::refuse(int error) {
    return refuse(Reason(error));
}

void OutputFile::discard() {
    if (descriptor() >= 0) ::close(descriptor());
    setDescriptor(-1);
    if (isOpen()) close();
    if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
    temporary_.clear();
}

Output::Output(const Options& options, QTextStream& out, bool whole)
    : path_(options.values.value(QStringLiteral("-o"))), inputs_(options.files), out_(out),
      whole_(whole) {}

Output::~Output() = default;

bool Output::open(QString& error) {
    error = sameAsInput();
    if (!error.isEmpty()) return false;
    if (path_.isEmpty()) {
        // File lines are single bytes; Latin-1 gives them back unchanged.
        out_.setEncoding(QStringConverter::Latin1);
        return true;
    }
    file_ = std::make_unique<OutputFile>(path_);
    if (file_->create()) return true;
    error = file_->error();
    return false;
}

bool Output::write(const QByteArray& bytes) {
    if (file_) return file_->write(bytes) == bytes.size();
    if (whole_) {
        held_ += bytes;
        return true;
    }
    return send(bytes);
}

bool Output::finish(QString& error) {
    if (file_) {
        if (file_->commit()) return true;
        error = file_->error();
        return false;
    }
    // A failure on standard output is told once, by the program's main.
    send(held_);
    held_.clear();
    out_.flush();
    return true;
}

bool Output::send(const QByteArray& bytes) {
    // Straight into the stream's device, when it has one, so that a long
    // line is not turned into text and back.
    if (QIODevice* device = out_.device()) {
        out_.flush();
        return device->write(bytes) == bytes.size();
    }
    out_ << QString::fromLatin1(bytes);
    return out_.status() == QTextStream::Ok;
}

QString Output::writeError() const {
    return file_ && file_->failure() ? file_->error() : QString();
}

QString Output::sameAsInput() const {
    struct stat output {};
    if (!path_.isEmpty()) {
        if (::stat(QFile::encodeName(path_).constData(), &output) != 0) return {};
    } else {
        const auto* device = dynamic_cast<const DescriptorDevice*>(out_.device());
        if (!device || ::fstat(device->descriptor(), &output) != 0 || !S_ISREG(output.st_mode))
            return {};
    }
    for (const QString& input : inputs_) {
        struct stat read {};
        if (::stat(QFile::encodeName(input).constData(), &read) == 0 &&
            read.st_dev == output.st_dev && read.st_ino == output.st_ino)
            return QStringLiteral("cannot write ") +
                   (path_.isEmpty() ? QStringLiteral("standard output") : path_) +
                   QStringLiteral(": it is the input file ") + input;
    }
    return {};
}

bool WriteResult(const Options& options, const QByteArray& bytes, QTextStream& out,
                 QTextStream& err, const QString& command) {
    Output output(options, out, true);
    QString error;
    if (output.open(error)) {
        output.write(bytes);
        if (output.finish(error)) return true;
    }
    err << command << QStringLiteral(": ") << error << Qt::endl;
    return false;
}

} // namespace velmora
