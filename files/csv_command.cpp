// velmora-files csv: a record file as CSV rows, streamed line by line.

#include "files/commands.h"
#include "files/options.h"
#include "history/file_history.h"
#include "history/values.h"
#include "recorder/record_file.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>

namespace velmora::files {

int RunCsv(const QStringList& args) {
    QString error;
    const auto options = ParseOptions(args, false, error);
    if (!options) return Fail(error);
    QFile standardOutput;
    QSaveFile outputFile(options->output);
    QIODevice* out = &outputFile;
    if (options->output.isEmpty()) {
        if (!standardOutput.open(stdout, QIODevice::WriteOnly)) return Fail("cannot write output");
        out = &standardOutput;
    } else if (!outputFile.open(QIODevice::WriteOnly)) {
        return Fail(QStringLiteral("%1: cannot be written (%2)")
                        .arg(options->output, outputFile.errorString()));
    }
    QByteArray block = QByteArray(kCsvHeader) + '\n';
    qint64 lines = 0, leftOut = 0;
    bool written = true;
    const auto unreadable =
        ReadRecordFile(options->input, [&](const std::optional<Record>& record) {
            ++lines;
            const auto row = CsvRowOfRecord(record);
            if (!row) {
                ++leftOut;
                return;
            }
            block += *row + '\n';
            if (block.size() > 64 * 1024) {
                written = written && out->write(block) == block.size();
                block.clear();
            }
        });
    if (unreadable) {
        std::fprintf(stderr, "velmora-files: %s\n", qPrintable(*unreadable));
        return kExitUnreadable;
    }
    written = written && out->write(block) == block.size();
    if (out == &outputFile)
        written = written && outputFile.commit();
    else
        written = written && standardOutput.flush();
    if (!written) {
        std::fprintf(stderr, "velmora-files: could not write all of the CSV\n");
        return kExitUnreadable;
    }
    if (leftOut > 0) std::fprintf(stderr, "%s\n", qPrintable(LeftOutText(leftOut, lines)));
    return 0;
}

} // namespace velmora::files
