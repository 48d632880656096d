#include "recording/recorder.h"

#include "recording/record_format.h"

namespace velmora {

Recorder::~Recorder() {
    stop();
}

bool Recorder::start(const QString& path, QString* why) {
    const auto refuse = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (recording()) return refuse(QStringLiteral("recording into another file already"));
    if (PathTooLong(path)) return refuse(QStringLiteral("the name is longer than a path may be"));
    if (NotAPlainFile(path)) return refuse(QStringLiteral("not a plain file"));
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: every write goes to the system at once, nothing waits in
    // the program for a close that a crash would never do.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return refuse(file->errorString());
    sync_.start(file->handle());
    file_ = std::move(file);
    return true;
}

void Recorder::stop() {
    if (!file_) return;
    sync_.stop(); // every line on the disk before the file is let go
    file_->close();
    file_.reset();
}

std::optional<FileIdentity> Recorder::identity() const {
    if (!file_) return std::nullopt;
    return IdentityOfOpen(file_->handle());
}

void Recorder::write(const Measurement& m) {
    if (!file_) return;
    const QByteArray line = FormatRecord(m.at(), m.voltageText, m.currentText);
    const qint64 before = file_->size();
    // Half a line (a full disk) would not read back as a record: take it away.
    if (file_->write(line) != line.size()) file_->resize(before);
    sync_.request();
}

} // namespace velmora
