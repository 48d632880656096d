#pragma once
// What a bench of units offers the network services (the MQTT bridge and the
// metrics page): each unit's state as plain values, its set-point limits, the
// door commands from outside go through, and signals when anything changes.

#include <QObject>
#include <QString>
#include <optional>

namespace velmora {

/// One unit as the network services see it at one moment.
struct UnitState {
    double voltage = 0, current = 0, power = 0; // measured (V, A, W); only when `measured`
    double setVoltage = 0, setCurrent = 0;      // the set-points in force (V, A)
    bool output = false;                        // false after Zero output
    QString mode;                               // "CV" or "CC", inferred
    bool tripped = false;
    double chargeAh = 0, energyWh = 0; // the meters since their reset
    QString link;                      // "receiving", "silent", "waiting", "closed"
    bool recording = false;
    QString run;           // the player: "idle", "running", ...
    qint64 atMs = 0;       // when this was so, ms since 1970 (UTC); 0: now
    bool measured = false; // false until a frame was read
    // For the metrics page: counted since the program started.
    quint64 framesReceived = 0, framesUnreadable = 0, commandsSent = 0;
};

/// What a unit's set-points may be: the door's limits and the unit's steps.
struct SetpointLimits {
    double maxVoltage = 0, maxCurrent = 0; // V, A
    double voltageStep = 0.1, currentStep = 0.01;
    friend bool operator==(const SetpointLimits&, const SetpointLimits&) = default;
};

/// A command from outside the program, for one unit.
struct UnitCommand {
    enum Kind { Setpoints, Output, ClearTrip, ResetMeters };
    Kind kind = Setpoints;
    std::optional<double> voltage, current; // Setpoints: one or both, V and A
    bool output = false;                    // Output: on (true) or Zero output
    friend bool operator==(const UnitCommand&, const UnitCommand&) = default;
};

/// The bench the network services serve: units numbered 1..unitCount().
class BenchFeed : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~BenchFeed() override;

    virtual int unitCount() const = 0;
    virtual QString unitName(int unit) const = 0;
    virtual QString unitModel(int unit) const = 0; // "1A/20V", "2,5A/25V"; empty: none chosen
    virtual UnitState state(int unit) const = 0;
    virtual SetpointLimits setpointLimits(int unit) const = 0;
    /// Takes a command through the unit's door: "" when done, else why it
    /// was refused (nothing was sent then).
    virtual QString command(int unit, const UnitCommand& command) = 0;

  signals:
    /// Something in state(unit) may have changed (at most once a frame).
    void changed(int unit);
    /// A trip, the off-timer, a watchdog, a run's step ending, ...: `kind` is
    /// one lower-case word ("trip"), `text` says it for a person.
    void happened(int unit, const QString& kind, const QString& text);
    /// Units came or went.
    void unitsChanged();
};

} // namespace velmora
