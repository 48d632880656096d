#pragma once
// One unit on one port and what is kept of it: its control (link, model,
// limits, set-points and the door they go through), the recorder, the player,
// the history, the meters, the protection and the off-timer. Windows, remote
// control and the other senders only call it and follow its signals; it
// waits for nothing.

#include "core/clock.h"
#include "core/settings_store.h"
#include "history/history.h"
#include "meters/meters.h"
#include "meters/protection.h"
#include "playback/player.h"
#include "recording/recorder.h"
#include "session/run_control.h"
#include "session/unit_control.h"
#include "unit/measurement.h"

#include <QObject>
#include <memory>
#include <optional>

namespace velmora {

/// What asking to start recording or playback came to.
struct FileStart {
    bool started = false;
    QString refusal; // when not started: the message for the user ("Error opening file: ...")
    QString title;   // its title, when not the program's own
};

class Session : public QObject {
    Q_OBJECT
  public:
    /// A session on `line` (the real line over QSerialPort in the program),
    /// with its settings in `store`. Nothing is opened until start().
    Session(Clock& clock, std::unique_ptr<SerialLine> line, SettingsStore store,
            QObject* parent = nullptr);
    ~Session() override;

    /// Reads the stored settings and opens the port; nothing is sent.
    void start();

    Clock& clock() const { return clock_; }
    /// The unit's number on the bench (1 to 8) and the name it goes by.
    int number() const { return number_; }
    void setNumber(int number) { number_ = number; }
    const QString& name() const { return stored_.name; }
    /// The number of the settings group the unit is stored in ([UnitN]):
    /// its number on the bench unless a group before it was left out.
    int group() const { return store_.unit(); }
    /// Moves the unit's stored settings to group `group` (a unit before it
    /// was removed).
    bool moveSettings(int group) { return store_.renumber(group); }
    /// Stores the name it goes by, so a name it had by default stays its own.
    bool storeName() { return store_.saveText(QStringLiteral("Name"), stored_.name); }
    /// Removes the unit's stored settings (units 2 to 8).
    bool forget() { return store_.removeUnit(); }
    /// Where the settings are stored, for telling the user.
    QString settingsFileName() const { return store_.fileName(); }
    /// The unit's set-points, model, limits and port, and the door.
    UnitControl& unit() { return *unit_; }
    const UnitControl& unit() const { return *unit_; }
    const History& history() const { return history_; }
    /// The newest valid frame, if any came.
    const std::optional<Measurement>& lastMeasurement() const { return last_; }

    // Recording and playback; file names as typed, resolved as the settings
    // window resolves them.
    QString recordFileName() const { return stored_.recordFileName; }
    QString controlFileName() const { return stored_.controlFileName; }
    /// Stores both names (the settings window does when it closes).
    void setFileNames(const QString& recordFile, const QString& controlFile);
    FileStart startRecording(const QString& fileName);
    void stopRecording();
    bool recording() const { return recorder_.recording(); }
    /// While tripped it is refused with the trip's message, titled "Protection".
    FileStart startPlayback(const QString& fileName);
    void stopPlayback();
    Player::State playerState() const { return player_->state(); }
    const PlaybackProgress& playbackProgress() const { return player_->progress(); }

    // Runs: a run file's steps, one run at a time, never beside a playback.
    /// Reads and checks the run file (a name as typed, resolved as the
    /// control file's) and starts it; refused while a playback plays, while
    /// tripped, or when the check finds a problem.
    RunStart startRun(const QString& fileName);
    /// Reads and checks a run file (a name as typed) without starting it.
    CheckedRunFile checkRun(const QString& fileName) const {
        return runs_->check(filePath(fileName));
    }
    /// Ends a run going as failed, with `reason` ("stopped by remote control").
    void stopRun(const QString& reason);
    const RunControl& runs() const { return *runs_; }
    RunControl& runs() { return *runs_; }
    QString runFileName() const { return runFileName_; }
    void setRunFileName(const QString& name);

    // Meters and protection, from every readable frame on its arrival time.
    MeterReadings meterReadings() const { return meters_.readings(); }
    /// CV or CC as the newest readable frame and the set-points suggest.
    std::optional<Regulation> regulation() const { return regulation_; }
    /// Starts the meters again; nothing else does.
    void resetMeters();
    const ProtectionSettings& protection() const { return protection_.settings(); }
    /// Takes and stores the trip rules; false when the file cannot be written.
    bool setProtection(const ProtectionSettings& settings);
    bool tripped() const { return protection_.trip().has_value(); }
    /// While a trip holds the output at zero: what it said.
    const QString& tripText() const { return tripText_; }
    /// Lets set-points go out again after a trip.
    void clearTrip();
    /// Zero output after `seconds` (0: no off-timer).
    void startOffTimer(qint64 seconds);
    /// Seconds until the off-timer zeroes the output; 0 when it is off.
    qint64 offTimerRemaining() const;

    /// Ends the session: nothing more is sent; once the command on the line
    /// is out (at most 70 ms), ended() comes. Files stay open until then.
    void shutdown();
    bool ending() const { return unit_->ending(); }

  signals:
    /// A valid frame came (recorded and in the history already).
    void measured(const velmora::Measurement& measurement);
    void recordingChanged(bool recording);
    void playbackChanged(const velmora::PlaybackProgress& progress);
    /// A run's step started or ended, or the run ended.
    void runEvent(const velmora::RunEvent& event);
    /// The run's state or step changed.
    void runChanged();
    void fileNamesChanged();
    /// A trip zeroed the output; set-points are refused until it is cleared.
    void protectionTripped(const QString& text);
    /// The trip rules, the trip state or the off-timer changed.
    void protectionChanged();
    /// For the user; nothing waits for it to be seen.
    void message(const QString& text, const QString& title);
    /// After shutdown(), once nothing more can go out.
    void ended();
    /// The settings file could not be written, said once a run: what was
    /// changed holds until the program ends.
    void settingsNotStored(const QString& text);

  private:
    void onFrame(const Measurement& frame);
    void onCommandStarted(const QByteArray& command);
    void onModelChanged();
    void takeForMeters(const Measurement& frame);
    void offTimerRanOut();
    bool stored(bool written);
    QString filePath(const QString& fileName) const;

    Clock& clock_;
    SettingsStore store_;
    StoredSettings stored_;
    std::unique_ptr<UnitControl> unit_;
    QString lastText_; // the last valid frame's texts: a change is recorded
    std::optional<Measurement> last_;
    Meters meters_;
    Protection protection_;
    std::optional<Regulation> regulation_;
    QString tripText_;
    bool notStoredSaid_ = false;
    Timer offTimer_;
    int number_; // on the bench
    History history_;
    Recorder recorder_;
    std::unique_ptr<Player> player_;
    std::unique_ptr<RunControl> runs_;
    QString runFileName_;
};

} // namespace velmora
