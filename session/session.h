#pragma once
// One unit on one port: its serial link and the commands going out, the
// set-points and the model, the user's limits, the recorder, the player and
// the history. Windows and the remote server only call it and follow its
// signals; it waits for nothing.

#include "core/clock.h"
#include "core/settings_store.h"
#include "history/history.h"
#include "link/link_status.h"
#include "link/serial_comm.h"
#include "meters/meters.h"
#include "meters/protection.h"
#include "playback/player.h"
#include "recording/recorder.h"
#include "session/adjust_hold.h"
#include "unit/command.h"
#include "unit/limits.h"
#include "unit/measurement.h"

#include <QObject>
#include <memory>
#include <optional>

namespace velmora {

/// What asking for a set-point command came to.
enum class SendOutcome {
    Queued,    // it goes out after any command before it
    NoModel,   // no model chosen: the message was given, nothing goes out
    PastLimit, // above a limit in force: nothing goes out
    Tripped,   // a protection trip holds the output at zero until cleared
    Ending,    // the program is ending: nothing more goes out
};

/// What a change of the user's limits did to the set-points.
struct LimitChange {
    std::optional<qint16> voltageLoweredTo; // mV, when the set-point was above the new limit
    std::optional<qint16> currentLoweredTo; // mA
    bool stored = true;                     // false when the settings file could not be written
};

/// What asking to start recording or playback came to.
struct FileStart {
    bool started = false;
    QString refusal; // when not started: the message for the user ("Error opening file: ...")
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
    /// Where the settings are stored, for telling the user.
    QString settingsFileName() const { return store_.fileName(); }
    /// The one place settings are written through; parts of the program that
    /// keep settings of their own (remote control) store them here too.
    SettingsStore& settingsStore() { return store_; }
    SerialComm& MSComm1() const { return *comm_; }
    const History& history() const { return history_; }

    // The model and the limits. The stored pair of limits tells the model;
    // the buttons step within it, lowered by the user's own limits.
    Model model() const { return ModelFromCurrentLimit(limits_.current); }
    Limits limits() const { return limits_; }
    UserLimits userLimits() const;
    /// The keys of stored user limits for the model in force that could not be read.
    QStringList unreadableUserLimits() const;
    Limits setpointLimits() const { return LoweredLimits(limits_, userLimits()); }
    /// Choosing a model: both set-points 0, the model's limits, stored at once.
    void chooseModel(Model model);
    /// Stores the user's limits for the model in force. A set-point above a
    /// new limit is lowered to it and both go out at once.
    LimitChange setUserLimits(const UserLimits& limits);

    // The port.
    qint16 port() const { return port_; }
    /// Closes the port, opens COM`port` and stores the choice (also when it
    /// does not open: the next start tries it again).
    void choosePort(qint16 port);
    /// The device COM`port` stands for, as mapped ("" when not mapped).
    QString mappedDevice(int port) const { return stored_.portDevices.value(port); }
    QString deviceForPort(int port) const;
    /// Maps COM`port` to `device` (empty: back to the default) and stores it.
    void mapPort(int port, const QString& device);
    LinkStatus linkStatus() const { return comm_->status(); }

    // The set-points.
    Setpoints setpoints() const { return {setVoltage_, setCurrent_}; }
    /// The newest valid frame, if any came.
    const std::optional<Measurement>& lastMeasurement() const { return last_; }
    /// Press and release of adjust button 1..8.
    void pressAdjust(int button);
    void releaseAdjust();
    bool adjusting() const { return hold_.held(); }
    /// Makes the set-points those given and sends them as one command, as
    /// "Set values" does; refused past the limits in force and with no model.
    /// `sent` is called once the command has gone out whole (or was lost).
    SendOutcome sendSetpoints(qint16 voltageMv, qint16 currentMa, std::function<void()> sent = {});
    /// Ends a playback, drops the commands waiting, ends a hold, sends 0 V and
    /// 0 A and makes both set-points 0. `sent` as for sendSetpoints.
    SendOutcome zeroOutput(std::function<void()> sent = {});
    /// The set-points in force before the output was last zeroed, when they
    /// were not zero already; nothing before any zeroing.
    std::optional<Setpoints> setpointsBeforeZero() const { return beforeZero_; }

    // Recording and playback; file names as typed, resolved as the settings
    // window resolves them.
    QString recordFileName() const { return stored_.recordFileName; }
    QString controlFileName() const { return stored_.controlFileName; }
    /// Stores both names (the settings window does when it closes).
    void setFileNames(const QString& recordFile, const QString& controlFile);
    /// Takes one name for this run, as remote control names a file; stored
    /// as the settings window stores it.
    void setRecordFileName(const QString& name);
    void setControlFileName(const QString& name);
    FileStart startRecording(const QString& fileName);
    void stopRecording();
    bool recording() const { return recorder_.recording(); }
    /// While tripped it is refused with the trip's message, titled
    /// "Protection", and an empty refusal.
    FileStart startPlayback(const QString& fileName);
    void stopPlayback();
    Player::State playerState() const { return player_->state(); }
    const PlaybackProgress& playbackProgress() const { return player_->progress(); }

    // Meters and protection, from every readable frame on its arrival time.
    MeterReadings meterReadings() const { return meters_.readings(); }
    /// CV or CC as the newest readable frame and the set-points suggest.
    std::optional<Regulation> regulation() const { return regulation_; }
    /// Starts the meters again; nothing else does.
    void resetMeters();
    const ProtectionSettings& protection() const { return protection_.settings(); }
    /// Takes and stores the trip rules; false when the file cannot be written.
    bool setProtection(const ProtectionSettings& settings);
    /// While a trip holds the output at zero: what it said.
    bool tripped() const { return protection_.trip().has_value(); }
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
    bool ending() const { return ending_; }

  signals:
    /// A valid frame came (recorded and in the history already).
    void measured(const velmora::Measurement& measurement);
    void setpointsChanged();
    /// A held button stepped: the set-point read-out shows `value`.
    void adjustStepped(bool voltage, qint16 value);
    /// The hold is over: the measured read-outs come back.
    void adjustEnded();
    void modelChanged();
    void userLimitsChanged();
    void commandStarted(const QByteArray& command);
    void linkChanged();
    void recordingChanged(bool recording);
    void playbackChanged(const velmora::PlaybackProgress& progress);
    void fileNamesChanged();
    /// A trip zeroed the output; set-points are refused until it is cleared.
    void protectionTripped(const QString& text);
    /// The trip rules, the trip state or the off-timer changed.
    void protectionChanged();
    /// For the user; nothing waits for it to be seen.
    void message(const QString& text, const QString& title);
    /// After shutdown(), once nothing more can go out.
    void ended();

  private:
    void onComm();
    void onCommandSent(const QByteArray& command);
    void onLinkChanged();
    void stepAdjust(int button);
    void releaseDue();
    void takeForMeters(const Measurement& frame);
    void offTimerRanOut();
    bool refusedByTrip();
    SendOutcome sendCommand(const QByteArray& command, std::function<void()> sent = {});
    void setSetpoints(qint16 voltageMv, qint16 currentMa);
    void openPort();
    QString filePath(const QString& fileName) const;
    const StoredUserLimits* storedUserLimits() const;
    StoredUserLimits* storedUserLimits();

    Clock& clock_;
    SettingsStore store_;
    StoredSettings stored_;
    StoredUserLimits smallLimits_; // the user's own, for "1A/20V"
    StoredUserLimits largeLimits_; // for "2,5A/25V"
    Limits limits_;
    qint16 port_ = 2;
    qint16 setVoltage_ = 0;
    qint16 setCurrent_ = 0;
    QString lastText_; // the last valid frame's texts: a change is recorded
    std::optional<Measurement> last_;
    QByteArray lastAsked_;     // the last set-point command asked for, from any path
    bool awayChanged_ = false; // one was asked for, or lost, while the line was away
    std::optional<Setpoints> beforeZero_;
    bool ending_ = false;
    Meters meters_;
    Protection protection_;
    std::optional<Regulation> regulation_;
    QString tripText_;
    Timer offTimer_;
    History history_;
    Recorder recorder_;
    std::unique_ptr<SerialComm> comm_;
    std::unique_ptr<Player> player_;
    AdjustHold hold_;
};

} // namespace velmora
