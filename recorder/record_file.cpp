#include "recorder/record_file.h"

#include "recorder/line_reader.h"

#include <QFile>
#include <QFileInfo>

namespace velmora {

std::optional<QString>
ReadRecordFile(const QString& path, const std::function<void(const std::optional<Record>&)>& each) {
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("%1: no such file").arg(path);
    // A pipe or a device could block for good, and a folder is no file.
    if (!info.isFile()) return QStringLiteral("%1: not a file").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString());
    LineReader lines(&file);
    while (const auto line = lines.next())
        each(ParseRecord(*line));
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("%1: read error (%2)").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace velmora
