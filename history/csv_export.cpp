#include "history/csv_export.h"

#include "history/history.h"

#include <QDateTime>
#include <QSaveFile>

namespace velmora {

bool WriteHistoryCsv(const History& history, QIODevice& out) {
    QByteArray block = QByteArray(kCsvHeader) + '\n';
    for (qint64 i = 0; i < history.size(); ++i) {
        const Sample s = history.at(i);
        block += CsvRow(QDateTime::fromMSecsSinceEpoch(s.ms), s.values) + '\n';
        if (block.size() > 64 * 1024) {
            if (out.write(block) != block.size()) return false;
            block.clear();
        }
    }
    return out.write(block) == block.size();
}

bool WriteHistoryCsv(const History& history, const QString& path) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && WriteHistoryCsv(history, file) && file.commit();
}

} // namespace velmora
