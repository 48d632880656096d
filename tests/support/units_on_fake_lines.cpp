#include "support/units_on_fake_lines.h"

#include "support/session_on_fake_line.h"

#include <stdexcept>
#include <string>

namespace velmora::test {

UnitsOnFakeLines::UnitsOnFakeLines(const QStringList& stored) {
    SessionOnFakeLine::Store(settingsPath(), stored);
    units = std::make_unique<Units>(
        clock,
        [this] {
            auto made = std::make_unique<FakeLine>(&clock);
            lines << made.get();
            return made;
        },
        settingsPath());
    QObject::connect(units.get(), &Units::message,
                     [this](const QString& text) { messages << text; });
}

QStringList UnitsOnFakeLines::Bench(int count) {
    QStringList stored = {"Netzteil/Com=2", "Netzteil/NLU=20000", "Netzteil/NLI=1000"};
    for (int n = 2; n <= count; ++n)
        stored << QStringLiteral("Unit%1/Com=%2").arg(n).arg(n + 1)
               << QStringLiteral("Unit%1/NLU=25000").arg(n)
               << QStringLiteral("Unit%1/NLI=2500").arg(n);
    return stored;
}

void UnitsOnFakeLines::start() {
    units->start();
    clock.settle();
}

// Each unit's line is the one open on its port's device.
FakeLine& UnitsOnFakeLines::line(int number) const {
    const UnitControl& unit = units->at(number).unit();
    const QString device = unit.deviceForPort(unit.port());
    for (FakeLine* made : lines)
        if (made->isOpen() && made->openedDevice() == device) return *made;
    throw std::runtime_error("no line open for unit " + std::to_string(number));
}

QByteArrayList UnitsOnFakeLines::takeWrites() {
    QByteArrayList writes;
    for (int n = 1; n <= units->count(); ++n) {
        writes << line(n).written();
        line(n).clearWrites();
    }
    return writes;
}

void UnitsOnFakeLines::feedFrame(int number, const char* voltageDigits,
                                 const char* currentDigits) {
    line(number).feed(SessionOnFakeLine::Frame(voltageDigits, currentDigits));
    clock.settle();
}

} // namespace velmora::test
