#include "recorder/recorder.h"

#include "core/clock.h"
#include "core/constants.h"
#include "core/message.h"
#include "recorder/channels.h"
#include "recorder/record_format.h"

#include <QAbstractButton>

namespace velmora {

void WriteRecord(const QString& voltageText, const QString& currentText) {
    if (!ChannelIsOpen(RecordChannel)) return;
    // A failed write (disk full, file gone) is dropped: the receive handler
    // carries on and the next change is written if it can be.
    WriteChannel(RecordChannel, FormatRecord(LocalNow(), voltageText, currentText));
}

void RecorderButton_Click(QAbstractButton* button, const QString& fileName) {
    if (!button) return;
    if (button->text() == kCaptionStop) {
        CloseChannel(RecordChannel);
        button->setText(QString(kCaptionStart));
        return;
    }
    switch (OpenChannelForOutput(RecordChannel, ProgramFilePath(fileName))) {
    case OpenResult::Opened:
    case OpenResult::AlreadyOpen: // records go on into the file already open
        button->setText(QString(kCaptionStop));
        return;
    case OpenResult::InUse: // the player reads this file: recording would record nothing
    case OpenResult::Failed:
        ShowMessage(QString(kMsgErrorOpeningFile) + fileName);
        return;
    }
}

} // namespace velmora
