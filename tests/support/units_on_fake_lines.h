#pragma once
// A bench of units on fake lines and a fake clock, its settings in a
// temporary file: the test writes the file, starts the bench and reads each
// line's writes.

#include "session/units.h"
#include "support/fake_clock.h"
#include "support/fake_line.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace velmora::test {

class UnitsOnFakeLines {
  public:
    /// The settings file holds `stored` ("Unit2/Com=3", as
    /// SessionOnFakeLine::Store takes them); call start() when ready.
    explicit UnitsOnFakeLines(const QStringList& stored = {});
    /// Unit 1 on COM2 with 1A/20V, the others on COM3, COM4 ... with
    /// 2.5A/25V, named "Unit N".
    static QStringList Bench(int units);

    void start();
    /// The line of unit `number` as the bench numbers it now.
    FakeLine& line(int number) const;
    /// Every unit's writes so far, their lines cleared.
    QByteArrayList takeWrites();
    /// A frame on unit `number`'s line.
    void feedFrame(int number, const char* voltageDigits, const char* currentDigits);
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString settingsPath() const { return path(QStringLiteral("Tarnholm.conf")); }

    QTemporaryDir dir_;
    FakeClock clock;
    QList<FakeLine*> lines; // in the order made
    std::unique_ptr<Units> units;
    QStringList messages;
};

} // namespace velmora::test
