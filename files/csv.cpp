// velmora-files csv: a record file as CSV rows, streamed line by line.

#include "files/csv.h"

#include "files/options.h"
#include "history/file_history.h"
#include "history/values.h"
#include "recorder/record_file.h"

#include <QSaveFile>

namespace velmora {

namespace {

int Fail(QTextStream& err, const QString& message) {
    err << QStringLiteral("velmora-files csv: ") << message << Qt::endl;
    return 2;
}

} // namespace

int RunCsv(const QStringList& args, QTextStream& out, QTextStream& err) {
    const Options options = ParseOptions(args, {QStringLiteral("-o")});
    if (!options.error.isEmpty()) return Fail(err, options.error);
    if (options.files.size() != 1) return Fail(err, QStringLiteral("give one record file"));
    const QString output = options.values.value(QStringLiteral("-o"));
    QSaveFile file(output);
    if (!output.isEmpty() && !file.open(QIODevice::WriteOnly))
        return Fail(err, QStringLiteral("cannot write ") + output + QStringLiteral(": ") +
                             file.errorString());
    QByteArray block = QByteArray(kCsvHeader) + '\n';
    qint64 lines = 0, leftOut = 0;
    bool written = true;
    const auto put = [&] {
        if (output.isEmpty())
            out << QString::fromLatin1(block);
        else
            written = written && file.write(block) == block.size();
        block.clear();
    };
    const auto unreadable =
        ReadRecordFile(options.files.first(), [&](const std::optional<Record>& record) {
            ++lines;
            const auto row = CsvRowOfRecord(record);
            if (!row) {
                ++leftOut;
                return;
            }
            block += *row + '\n';
            if (block.size() > 64 * 1024) put();
        });
    if (unreadable) return Fail(err, *unreadable);
    put();
    out.flush();
    if (!output.isEmpty()) written = written && file.commit();
    if (!written || out.status() != QTextStream::Ok)
        return Fail(err, QStringLiteral("could not write all of the CSV"));
    if (leftOut > 0) err << LeftOutText(leftOut, lines) << Qt::endl;
    return 0;
}

} // namespace velmora
