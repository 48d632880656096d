// Recording and playback: the file names in use and the refusals.

#include "core/constants.h"
#include "runs/run_settings.h"

#include "session/session.h"
#include <QFileInfo>

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
    if (runs_->running())
        return {false, QStringLiteral("A run is going: a control file plays once it has ended."),
                QStringLiteral("Runs")};
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

void Session::setRunFileName(const QString& name) {
    runFileName_ = name;
    emit runChanged();
}

RunStart Session::startRun(const QString& fileName) {
    if (ending()) return {false, QStringLiteral("the program is ending"), {}};
    if (player_->state() != Player::State::Idle)
        return {
            false, QStringLiteral("a control file is playing: a run starts once it has ended"), {}};
    if (tripped()) return {false, tripText_, {}};
    runFileName_ = fileName;
    // The report goes beside the record files.
    const RunPlace place{QFileInfo(filePath(stored_.recordFileName)).absolutePath(),
                         ModelName(unit_->model()), QStringLiteral("COM%1").arg(unit_->port())};
    return runs_->start(filePath(fileName), fileName, place);
}

void Session::stopRun(const QString& reason) {
    runs_->stop(reason);
}

} // namespace velmora
