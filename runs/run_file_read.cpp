#include "runs/run_file_read.h"

#include "runs/run_parser.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace velmora {

RunFileText ReadRunFile(const QString& path) {
    RunFileText text;
    const QFileInfo info(path);
    if (!info.exists()) {
        text.error = path + QStringLiteral(": no such file");
        return text;
    }
    if (!info.isFile()) {
        text.error = path + QStringLiteral(": not a file");
        return text;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        text.error = path + QStringLiteral(": cannot be read (") + file.errorString() + u')';
        return text;
    }
    text.bytes = file.read(kMaxRunFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        text.error = path + QStringLiteral(": read error (") + file.errorString() + u')';
        text.bytes.clear();
        return text;
    }
    text.sha256 = QCryptographicHash::hash(text.bytes, QCryptographicHash::Sha256).toHex();
    return text;
}

CheckedRunFile CheckRunFile(const QString& path, const RunCheckOptions& options) {
    CheckedRunFile checked;
    checked.file = ReadRunFile(path);
    if (checked.file.error.isEmpty()) checked.verdict = CheckRunText(checked.file.bytes, options);
    return checked;
}

} // namespace velmora
