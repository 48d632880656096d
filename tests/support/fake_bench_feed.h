#pragma once
// A bench of units for the network services' tests and benchmarks: states
// set by hand, commands recorded and answered as told.

#include "feed/bench_feed.h"

#include <QList>
#include <QPair>
#include <functional>

namespace velmora::test {

/// The state the tests start from: 5.0 V, 0.5 A, CV, measured at
/// 2026-12-08 13:30:00.120 UTC.
UnitState SampleUnitState();

class FakeBenchFeed final : public BenchFeed {
  public:
    struct Unit {
        QString name, model;
        UnitState state;
        SetpointLimits limits;
    };

    /// `count` units named "Unit 1", ..., all "1A/20V" at SampleUnitState().
    explicit FakeBenchFeed(int count = 1);

    int unitCount() const override { return int(units.size()); }
    QString unitName(int unit) const override { return units.at(unit - 1).name; }
    QString unitModel(int unit) const override { return units.at(unit - 1).model; }
    UnitState state(int unit) const override { return units.at(unit - 1).state; }
    SetpointLimits setpointLimits(int unit) const override { return units.at(unit - 1).limits; }
    QString command(int unit, const UnitCommand& command) override;

    /// Changes a unit's state and says so.
    void change(int unit, const std::function<void(UnitState&)>& how);
    /// Makes it `count` units and says so.
    void setUnitCount(int count);
    void say(int unit, const QString& kind, const QString& text) { emit happened(unit, kind, text); }

    QList<Unit> units;
    QList<QPair<int, UnitCommand>> commands; // taken through the door, in order
    QString refusal;                         // the door's answer to every command when set
};

} // namespace velmora::test
