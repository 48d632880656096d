// Recording and playback: the file names in use and the refusals.

#include "core/constants.h"
#include "session/session.h"

namespace velmora {

namespace {

// "Error opening file: " and the name as typed, then on a line of its own
// the file it stands for and why.
FileStart Refused(const QString& fileName, const QString& why) {
    return {false, QString(kMsgErrorOpeningFile) + fileName + u'\n' + why, {}};
}

} // namespace

void Session::setFileNames(const QString& recordFile, const QString& controlFile) {
    const bool changed =
        recordFile != stored_.recordFileName || controlFile != stored_.controlFileName;
    stored_.recordFileName = recordFile;
    stored_.controlFileName = controlFile;
    stored(store_.saveFileNames(recordFile, controlFile));
    if (changed) emit fileNamesChanged();
}

FileStart Session::startRecording(const QString& fileName) {
    // With recording on, records go on into the file that is open.
    if (recorder_.recording()) return {true, {}, {}};
    const QString path = filePath(fileName);
    // The file the player reads: recording would record nothing into it.
    const std::optional<FileIdentity> played = player_->file();
    if (played && IdentityOf(path) == played)
        return Refused(fileName, path + QStringLiteral(": the file is being played"));
    QString why;
    if (!recorder_.start(path, &why)) return Refused(fileName, path + QStringLiteral(": ") + why);
    emit recordingChanged(true);
    return {true, {}, {}};
}

void Session::stopRecording() {
    if (!recorder_.recording()) return;
    recorder_.stop();
    emit recordingChanged(false);
}

FileStart Session::startPlayback(const QString& fileName) {
    if (ending() || player_->state() != Player::State::Idle) return {};
    // After a trip nothing sets the output again until the user clears it.
    if (tripped()) return {false, tripText_, QStringLiteral("Protection")};
    const QString path = filePath(fileName);
    const std::optional<FileIdentity> recorded = recorder_.identity();
    if (recorded && IdentityOf(path) == recorded)
        return Refused(fileName, path + QStringLiteral(": the file is being recorded"));
    QString why;
    if (player_->start(path, fileName, &why) != PlaybackStart::Started)
        return Refused(fileName, why);
    return {true, {}, {}};
}

void Session::stopPlayback() {
    player_->stop();
}

} // namespace velmora
