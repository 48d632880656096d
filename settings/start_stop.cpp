#include "settings/start_stop.h"

#include "core/constants.h"
#include "core/message.h"
#include "recorder/player.h"
#include "recorder/recorder.h"
#include "settings/form2.h"

#include <QAbstractButton>
#include <QPointer>
#include <QPushButton>

namespace velmora {

void RecorderButton_Click(QAbstractButton* button, const QString& fileName) {
    if (!button) return;
    if (button->text() == kCaptionStop) {
        StopRecording();
        button->setText(QString(kCaptionStart));
        return;
    }
    const RecordingStart start = StartRecording(fileName);
    if (start.recording)
        button->setText(QString(kCaptionStop));
    else
        ShowMessage(start.refusal);
}

void PlayerButton_Click(QAbstractButton* button, const QString& fileName) {
    if (!button) return;
    if (button->text() == kCaptionStop) {
        StopPlayback();
        button->setText(QString(kCaptionStart));
        return;
    }
    if (PlaybackRunning()) return; // refused, and the caption stays "Start"
    QPointer<QAbstractButton> player(button);
    player->setText(QString(kCaptionStop));
    const PlaybackEnd end = PlayControlFile(fileName);
    if (end.outcome == PlaybackOutcome::Refused) ShowMessage(end.refusal);
    if (player) player->setText(QString(kCaptionStart));
}

void EndPlayback() {
    if (!PlaybackRunning()) return;
    StopPlayback();
    if (Form2* window = SettingsWindow()) window->Command2->setText(QString(kCaptionStart));
}

} // namespace velmora
