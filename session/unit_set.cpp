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

} // namespace velmora
