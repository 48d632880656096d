// The control-file reader and the command built from a record, fed arbitrary
// lines: a record either reads as three fields or is skipped, and a command
// built from one is always exactly three digits, CR, three digits, CR.

#include "fuzz/fuzz_common.h"

#include "playback/channels.h"
#include "playback/playback_command.h"
#include "recording/record_format.h"
#include <QDir>
#include <QFile>

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
    // Read back through the player's own channel, as a control file on disk.
    static const QString path = QDir::tempPath() + QStringLiteral("/velmora-fuzz-control.dat");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(input);
    }
    if (OpenChannelForInput(ControlChannel, path) != OpenResult::Opened) fuzz::Finding();
    int lines = 0;
    while (!ChannelAtEnd(ControlChannel)) {
        const auto line = ReadChannelLine(ControlChannel);
        if (!line) break;
        if (++lines > input.size() + 1 || line->contains('\n') || line->contains('\r'))
            fuzz::Finding();
        const auto record = ParseRecord(*line);
        if (!record) continue;
        if (!record->date.isValid() || !record->time.isValid()) fuzz::Finding();
        for (Model model : {Model::Small1A20V, Model::Large2A5_25V}) {
            const auto command =
                MakePlaybackCommand(model, record->voltageText, record->currentText).command;
            if (command && !WellFormed(*command)) fuzz::Finding();
        }
        if (MakePlaybackCommand(Model::None, record->voltageText, record->currentText).command)
            fuzz::Finding();
    }
    CloseChannel(ControlChannel);
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
