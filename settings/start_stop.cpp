#include "settings/start_stop.h"

#include "core/constants.h"
#include "session/session.h"
#include "ui/message_box.h"

#include <QAbstractButton>

namespace velmora {

void RecorderButton_Click(Session& session, QAbstractButton* button, const QString& fileName) {
    if (!button) return;
    if (button->text() == kCaptionStop) {
        session.stopRecording();
        button->setText(QString(kCaptionStart));
        return;
    }
    const FileStart start = session.startRecording(fileName);
    if (start.started)
        button->setText(QString(kCaptionStop));
    else
        ShowMessageBox(start.refusal);
}

void PlayerButton_Click(Session& session, QAbstractButton* button, const QString& fileName) {
    if (!button) return;
    if (button->text() == kCaptionStop) {
        session.stopPlayback();
        button->setText(QString(kCaptionStart));
        return;
    }
    // A stopped run still finishing its command: refused, the caption stays.
    if (session.playerState() != Player::State::Idle) return;
    const FileStart start = session.startPlayback(fileName);
    if (start.started)
        button->setText(QString(kCaptionStop));
    else if (!start.refusal.isEmpty())
        ShowMessageBox(start.refusal);
}

} // namespace velmora
