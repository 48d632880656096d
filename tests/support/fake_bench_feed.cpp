#include "support/fake_bench_feed.h"

#include <QDateTime>

namespace velmora::test {

UnitState SampleUnitState() {
    UnitState s;
    s.voltage = 5.0;
    s.current = 0.5;
    s.power = 2.5;
    s.setVoltage = 5.0;
    s.setCurrent = 0.5;
    s.output = true;
    s.mode = QStringLiteral("CV");
    s.chargeAh = 0.0123;
    s.energyWh = 0.0615;
    s.link = QStringLiteral("receiving");
    s.run = QStringLiteral("idle");
    s.atMs = QDateTime(QDate(2026, 12, 8), QTime(13, 30, 0, 120), Qt::UTC).toMSecsSinceEpoch();
    s.measured = true;
    return s;
}

FakeBenchFeed::FakeBenchFeed(int count) {
    for (int i = 1; i <= count; ++i)
        units.append({QStringLiteral("Unit %1").arg(i), QStringLiteral("1A/20V"), SampleUnitState(),
                      SetpointLimits{20.0, 1.0, 0.1, 0.005}});
}

QString FakeBenchFeed::command(int unit, const UnitCommand& command) {
    if (!refusal.isEmpty()) return refusal;
    commands.append({unit, command});
    return {};
}

void FakeBenchFeed::change(int unit, const std::function<void(UnitState&)>& how) {
    how(units[unit - 1].state);
    emit changed(unit);
}

void FakeBenchFeed::setUnitCount(int count) {
    FakeBenchFeed fresh(count);
    while (units.size() > count)
        units.removeLast();
    while (units.size() < count)
        units.append(fresh.units[units.size()]);
    emit unitsChanged();
}

} // namespace velmora::test
