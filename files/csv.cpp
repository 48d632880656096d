// velmora-files csv: a record file as CSV rows, streamed line by line.

#include "files/csv.h"

#include "files/output.h"
#include "history/file_history.h"
#include "history/values.h"
#include "recording/record_file.h"

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
    Output output(options, out, false);
    QString error;
    if (!output.open(error)) return Fail(err, error);
    QByteArray block = QByteArray(kCsvHeader) + '\n';
    qint64 lines = 0, leftOut = 0;
    const auto unreadable =
        ReadRecordFile(options.files.first(), [&](const std::optional<Record>& record) {
            ++lines;
            const auto row = CsvRowOfRecord(record);
            if (!row) {
                ++leftOut;
                return;
            }
            block += *row + '\n';
            if (block.size() > 64 * 1024) {
                output.write(block);
                block.clear();
            }
        });
    if (unreadable) return Fail(err, *unreadable);
    output.write(block);
    if (!output.finish(error)) return Fail(err, error);
    if (leftOut > 0) err << LeftOutText(leftOut, lines) << Qt::endl;
    return 0;
}

} // namespace velmora
