#include "recorder/recorder.h"

#include "core/clock.h"
#include "core/constants.h"
#include "recorder/channels.h"
#include "recorder/record_format.h"

namespace velmora {

void WriteRecord(const QString& voltageText, const QString& currentText) {
    if (!ChannelIsOpen(RecordChannel)) return;
    // A failed write (disk full, file gone) is dropped: the receive handler
    // carries on and the next change is written if it can be.
    WriteChannel(RecordChannel, FormatRecord(LocalNow(), voltageText, currentText));
}

RecordingStart StartRecording(const QString& fileName) {
    switch (OpenChannelForOutput(RecordChannel, ProgramFilePath(fileName))) {
    case OpenResult::Opened:
    case OpenResult::AlreadyOpen: // records go on into the file already open
        return {true, {}};
    case OpenResult::InUse: // the player reads this file: recording would record nothing
    case OpenResult::Failed:
        break;
    }
    return {false, QString(kMsgErrorOpeningFile) + fileName};
}

void StopRecording() {
    CloseChannel(RecordChannel);
}

} // namespace velmora
