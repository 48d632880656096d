#include "recording/record_file.h"

#include "recording/line_reader.h"

#include <QFile>
#include <QFileInfo>

namespace velmora {

namespace {

// A few ms of reading between looks at the stop flag.
constexpr int kLinesBetweenLooks = 4096;

std::optional<QString> Open(QFile& file, const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("%1: no such file").arg(path);
    // A pipe or a device could block for good, and a folder is no file.
    if (!info.isFile()) return QStringLiteral("%1: not a file").arg(path);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace

std::optional<QString> RecordFileProblem(const QString& path) {
    QFile file;
    return Open(file, path);
}

std::optional<QString> ReadRecordLines(const QString& path,
                                       const std::function<void(const ReadLine&)>& each,
                                       const ReadingControl& control) {
    QFile file;
    if (auto problem = Open(file, path)) return problem;
    LineReader lines(&file);
    ReadLine read;
    while (const auto line = lines.next()) {
        ++read.number;
        read.tooLong = lines.lastWasTooLong();
        read.record = read.tooLong ? std::nullopt : ParseRecord(*line);
        each(read);
        if (read.number % kLinesBetweenLooks == 0) {
            if (control.bytesRead) control.bytesRead->store(file.pos(), std::memory_order_relaxed);
            if (control.cancel && control.cancel->load(std::memory_order_relaxed))
                return std::nullopt;
        }
    }
    if (control.bytesRead) control.bytesRead->store(file.pos(), std::memory_order_relaxed);
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("%1: read error (%2)").arg(path, file.errorString());
    return std::nullopt;
}

std::optional<QString>
ReadRecordFile(const QString& path, const std::function<void(const std::optional<Record>&)>& each) {
    return ReadRecordLines(path, [&](const ReadLine& line) { each(line.record); });
}

} // namespace velmora
