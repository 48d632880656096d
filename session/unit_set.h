#pragma once
// The units a bench-wide part serves (remote control, the broker, the Bench
// window), numbered from 1, with what the bench does to all of them at once.

#include "session/session.h"

#include <QList>
#include <QObject>
#include <functional>
#include <optional>

namespace velmora {

/// A change of set-points: the voltage, the current or both.
struct SetpointChange {
    std::optional<Millivolts> voltage;
    std::optional<Milliamps> current;
    bool empty() const { return !voltage && !current; }
};

/// What the bench made of a change: the door's answer (the refusing unit's
/// when one refused), that unit's number, and how many commands were queued.
struct BenchAnswer {
    DoorAnswer answer;
    int refusedBy = 0;
    int queued = 0;
};

class UnitSet : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~UnitSet() override = default;

    virtual int count() const = 0;
    /// Unit `number`, 1 to count().
    virtual Session& at(int number) const = 0;
    /// The name it is shown by, one line.
    virtual QString name(int number) const = 0;
    /// The number of the unit with `name` (any case), or 0.
    int numberOf(const QString& name) const;
    /// Zeroes every unit, each zero queued in this one call: no unit's zero
    /// waits for another's line.
    void allOutputsOff(SetpointSource source);

    /// The units coupled: each takes the set-points sent to any of them.
    /// Never one alone; numbers of units that went are dropped.
    QList<int> coupled() const;
    void setCoupled(const QList<int>& units);

    /// Sends `change` to unit `number` and, when it is coupled, the same
    /// change to every unit coupled with it, each keeping what the change
    /// leaves alone. Every unit's door is asked first: when one refuses,
    /// nothing goes to any and the answer names that unit. `sent` is called
    /// once for each command queued.
    BenchAnswer request(int number, SetpointSource source, const SetpointChange& change,
                        const std::function<void()>& sent = {});

    /// Whether a trip on any unit zeroes every unit.
    bool tripAll() const { return tripAll_; }
    /// False when it could not be stored: it holds until the program ends.
    bool setTripAll(bool on);

  signals:
    /// A unit came or went: numbers may have moved.
    void changed();
    void tripAllChanged(bool on);

  protected:
    virtual bool storeTripAll(bool) { return true; }
    void holdTripAll(bool on) { tripAll_ = on; }

  private:
    QList<int> coupled_;
    bool tripAll_ = false;
};

/// A bench of one unit: one session, as the tests and a lone panel have it.
class OneUnit final : public UnitSet {
    Q_OBJECT
  public:
    explicit OneUnit(Session& session, QObject* parent = nullptr)
        : UnitSet(parent), session_(session) {}
    int count() const override { return 1; }
    Session& at(int) const override { return session_; }
    QString name(int) const override { return session_.name(); }

  private:
    Session& session_;
};

} // namespace velmora
