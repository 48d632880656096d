#pragma once
// The units a bench-wide part serves (remote control, the broker, the Bench
// window), numbered from 1, with what the bench does to all of them at once.

#include "session/session.h"

#include <QList>
#include <QObject>

namespace velmora {

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
    const QList<int>& coupled() const { return coupled_; }
    void setCoupled(const QList<int>& units) { coupled_ = units; }

  signals:
    /// A unit came or went: numbers may have moved.
    void changed();

  private:
    QList<int> coupled_;
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
