// The control-file line reader and the command built from a record, fed arbitrary
// lines: a record either reads as three fields or is skipped, and a command
// built from one is always exactly three digits, CR, three digits, CR.

#include "fuzz/fuzz_common.h"

#include "playback/playback_command.h"
#include "recording/line_reader.h"
#include "recording/record_format.h"
#include <QBuffer>

using namespace velmora;

namespace {

bool WellFormed(const QByteArray& command) {
    if (command.size() != 8 || command.at(3) != '\r' || command.at(7) != '\r') return false;
    for (int i : {0, 1, 2, 4, 5, 6})
        if (command.at(i) < '0' || command.at(i) > '9') return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    // Read through the player's own line reader, as a control file.
    QBuffer file;
    file.setData(input);
    if (!file.open(QIODevice::ReadOnly)) fuzz::Finding();
    LineReader reader(&file);
    int lines = 0;
    while (!reader.atEnd()) {
        const auto line = reader.next();
        if (!line) break;
        if (++lines > input.size() + 1 || line->contains('\n') || line->contains('\r') ||
            line->size() > LineReader::kMaxLineLength)
            fuzz::Finding();
        const auto record = ParseRecord(*line);
        if (!record) continue;
        if (!record->date.isValid() || !record->time.isValid()) fuzz::Finding();
        for (Model model : {Model::Small1A20V, Model::Large2A5_25V}) {
            const PlaybackCommand made =
                MakePlaybackCommand(model, record->voltageText, record->currentText);
            if (made.command && !WellFormed(*made.command)) fuzz::Finding();
            // Nothing past what the model can give is ever asked of it.
            if (made.setpoints && PastLimits(LimitsOf(model), *made.setpoints)) fuzz::Finding();
        }
        if (MakePlaybackCommand(Model::None, record->voltageText, record->currentText).command)
            fuzz::Finding();
    }
    // What the recorder writes always reads back as what it recorded.
    if (size >= 10) {
        const QString voltage = QString::fromLatin1(input.left(5));
        const QString current = QString::fromLatin1(input.mid(5, 5));
        if (voltage.contains(u'"') || current.contains(u'"') || voltage.contains(u',') ||
            current.contains(u',') || input.left(10).contains('\r') ||
            input.left(10).contains('\n'))
            return 0; // the unit never sends those; the format cannot carry them
        const QDateTime at(QDate(2024, 3, 5), QTime(14, 7, 9));
        const QByteArray line = FormatRecord(at, voltage, current);
        const auto back = ParseRecord(line.chopped(2));
        if (!back || back->date != at.date() || back->time != at.time()) fuzz::Finding();
    }
    return 0;
}
