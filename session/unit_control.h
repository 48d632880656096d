#pragma once
// One unit's set-points: its link, its model and the user's limits, the
// adjust buttons' hold, and the one door every set-point goes through on its
// way to the line, whoever asks for it.

#include "core/clock.h"
#include "core/settings_store.h"
#include "link/link_status.h"
#include "link/serial_link.h"
#include "session/adjust_hold.h"
#include "session/setpoint_source.h"
#include "unit/setpoint_rules.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

/// What the door made of a request.
struct DoorAnswer {
    enum class Verdict {
        Queued,         // it goes out after any command before it
        NoModel,        // no model chosen: nothing goes out
        PastModelRange, // below 0 or more than the model gives: nothing goes out
        PastUserLimit,  // above the user's own limit: nothing goes out
        Tripped,        // a protection trip holds the output at zero until cleared
        Ending,         // the program is ending: nothing more goes out
    };
    Verdict verdict = Verdict::Queued;
    QString reason;      // for the user, the same for every sender; empty when queued
    Setpoints setpoints; // as rounded to the unit's steps
    bool queued() const { return verdict == Verdict::Queued; }
};

/// What a change of the user's limits did to the set-points.
struct LimitChange {
    std::optional<Millivolts> voltageLoweredTo; // when the set-point was above the new limit
    std::optional<Milliamps> currentLoweredTo;
    bool stored = true; // false when the settings file could not be written
};

/// The set-points, the model and the limits of one unit, and its link.
class UnitControl : public QObject {
    Q_OBJECT
  public:
    UnitControl(Clock& clock, std::unique_ptr<SerialLine> line, SettingsStore& store,
                QObject* parent = nullptr);
    ~UnitControl() override;

    /// Takes the stored model, limits, port and mapping, and opens the port;
    /// nothing is sent.
    void start(const StoredSettings& stored);

    // The model and the limits. The stored pair of limits tells the model;
    // set-points stay within it, lowered by the user's own limits.
    Model model() const { return ModelFromCurrentLimit(limits_.current); }
    Limits limits() const { return limits_; }
    UserLimits userLimits() const;
    /// The keys of stored user limits for the model in force that could not be read.
    QStringList unreadableUserLimits() const;
    Limits setpointLimits() const { return LoweredLimits(limits_, userLimits()); }
    /// Choosing a model by hand: its limits, stored at once, and both
    /// set-points 0, sent as the door's zero so the unit agrees.
    void chooseModel(Model model);
    /// Takes the model's own pair of limits again and stores it: a stored
    /// pair that disagrees with the model its current limit names is mended.
    void mendModelLimits();
    /// Stores the user's limits for the model in force. A set-point above a
    /// new limit is lowered to it and both go out at once, or, with
    /// `sendLowered` false, when the caller next asks for set-points (remote
    /// control, at the end of its line).
    LimitChange setUserLimits(const UserLimits& limits, bool sendLowered = true);

    // The port.
    qint16 port() const { return port_; }
    /// Opens COM`port` (the command on the line, if any, finishes first) and
    /// stores the choice, also when it does not open.
    void choosePort(qint16 port);
    /// The device COM`port` stands for, as mapped ("" when not mapped).
    QString mappedDevice(int port) const { return portDevices_.value(port); }
    QString deviceForPort(int port) const { return DeviceForPort(port, portDevices_); }
    /// Maps COM`port` to `device` (empty: back to the default) and stores it.
    void mapPort(int port, const QString& device);
    LinkStatus linkStatus() const { return link_->status(); }
    bool linkOpen() const { return link_->isOpen(); }

    // The set-points.
    Setpoints setpoints() const { return setpoints_; }
    /// The set-points in force before the output was last zeroed, when they
    /// were not zero already; nothing before any zeroing or after *RST.
    std::optional<Setpoints> setpointsBeforeZero() const { return beforeZero_; }
    void forgetSetpointsBeforeZero() { beforeZero_.reset(); }

    /// The door: the only way set-points reach the unit. Rounds them to the
    /// unit's steps and checks them against the model's range, the user's
    /// limits and a trip (a zero always passes); once accepted they are the
    /// set-points in force and their command is queued. A zeroing source
    /// first ends what it interrupts (see Zeroes()). `sent` is called once
    /// the command has gone out whole, or was lost; never when refused.
    DoorAnswer request(SetpointSource source, const Setpoints& setpoints,
                       std::function<void()> sent = {});
    /// What the door would answer now, without asking: for checks made
    /// beforehand (a run's every step).
    DoorAnswer check(SetpointSource source, const Setpoints& setpoints) const;

    /// Press and release of adjust button 1..8.
    void pressAdjust(int button);
    void releaseAdjust();
    bool adjusting() const { return hold_.held(); }

    /// While held (a trip), only a zero passes the door; `why` is the refusal.
    void holdAtZero(const QString& why) { heldBecause_ = why; }
    void releaseHold() { heldBecause_.clear(); }
    bool heldAtZero() const { return !heldBecause_.isEmpty(); }

    /// Nothing more passes the door; `then` comes once the command on the
    /// line is out (at most 70 ms) and the port is closed.
    void shutdown(std::function<void()> then);
    bool ending() const { return ending_; }
    /// Whether no command is queued or going out.
    bool linkIdle() const { return link_->idle(); }

  signals:
    /// One frame from the unit, stamped on arrival.
    void frameArrived(const velmora::Measurement& frame);
    void setpointsChanged();
    /// A held button stepped: the set-point read-out shows `value`.
    void adjustStepped(bool voltage, int value);
    /// The hold is over: the measured read-outs come back.
    void adjustEnded();
    void modelChanged();
    void userLimitsChanged();
    /// A command's first character is on the line, with the set-points it stands for.
    void commandStarted(const QByteArray& command);
    void linkChanged();
    /// A zeroing source passed the door: whatever runs (a playback, a run)
    /// ends now, before the zero is queued.
    void zeroing(velmora::SetpointSource source);
    /// A zeroing source's zero has been queued.
    void zeroed(velmora::SetpointSource source);
    /// The door refused a request, and why.
    void refused(velmora::SetpointSource source, const velmora::DoorAnswer& answer);
    /// For the user at the panel; nothing waits for it to be seen.
    void message(const QString& text, const QString& title);
    /// A change could not be written to the settings file; it holds until
    /// the program ends.
    void notStored();

  private:
    DoorAnswer refuse(SetpointSource source, const DoorAnswer& answer);
    void queue(std::function<void()> sent);
    void onLinkChanged();
    void stepAdjust(int button);
    void releaseDue();
    void setSetpoints(const Setpoints& setpoints);
    bool stored(bool written);
    const StoredUserLimits* storedUserLimits() const;
    StoredUserLimits* storedUserLimits();

    Clock& clock_;
    SettingsStore& store_;
    std::unique_ptr<SerialLink> link_;
    AdjustHold hold_;
    StoredUserLimits smallLimits_; // the user's own, for "1A/20V"
    StoredUserLimits largeLimits_; // for "2,5A/25V"
    Limits limits_;
    qint16 port_ = 2;
    QMap<int, QString> portDevices_;
    Setpoints setpoints_;
    std::optional<Setpoints> beforeZero_;
    QString heldBecause_;
    bool awayChanged_ = false; // set-points asked for, or lost, while the line was away
    bool ending_ = false;
};

} // namespace velmora
