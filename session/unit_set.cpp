#include "session/unit_set.h"

namespace velmora {

int UnitSet::numberOf(const QString& name) const {
    for (int n = 1; n <= count(); ++n)
        if (at(n).name().compare(name, Qt::CaseInsensitive) == 0) return n;
    return 0;
}

void UnitSet::allOutputsOff(SetpointSource source) {
    for (int n = 1; n <= count(); ++n)
        at(n).unit().request(source, {});
}

QList<int> UnitSet::coupled() const {
    QList<int> there;
    for (int n : coupled_)
        if (n <= count()) there << n;
    return there.size() > 1 ? there : QList<int>{};
}

void UnitSet::setCoupled(const QList<int>& units) {
    coupled_ = units;
}

BenchAnswer UnitSet::request(int number, SetpointSource source, const SetpointChange& change,
                             const std::function<void()>& sent) {
    const QList<int> together = coupled();
    QList<int> targets = together.contains(number) ? together : QList<int>{number};
    targets.removeAll(number);
    targets.prepend(number); // the unit asked first: its refusal is the one told
    QList<Setpoints> asked;
    for (int n : targets) {
        const UnitControl& unit = at(n).unit();
        const Setpoints now = unit.setpoints();
        const Setpoints wanted{change.voltage.value_or(now.voltage),
                               change.current.value_or(now.current)};
        const SetpointSource as = n == number ? source : SetpointSource::Coupled;
        // Asked for real once it would refuse, so the refusal is told as any other.
        if (!unit.check(as, wanted).queued())
            return {at(n).unit().request(as, wanted), n, 0};
        asked << wanted;
    }
    BenchAnswer result;
    for (qsizetype i = 0; i < targets.size(); ++i) {
        const SetpointSource as = targets[i] == number ? source : SetpointSource::Coupled;
        const DoorAnswer answer = at(targets[i]).unit().request(as, asked[i], sent);
        if (answer.queued())
            ++result.queued;
        else if (result.refusedBy == 0)
            result = {answer, targets[i], result.queued};
        if (i == 0 && result.refusedBy == 0) result.answer = answer;
    }
    return result;
}

bool UnitSet::setTripAll(bool on) {
    const bool changedNow = tripAll_ != on;
    tripAll_ = on;
    const bool stored = storeTripAll(on);
    if (changedNow) emit tripAllChanged(on);
    return stored;
}

} // namespace velmora
