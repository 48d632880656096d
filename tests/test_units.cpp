// The bench's units: which stored units run and what is said of the others,
// adding and removing units, set-points shared by coupled units, and a trip
// that zeroes every unit.

#include "support/session_on_fake_line.h"
#include "support/units_on_fake_lines.h"
#include "workbench/units_feed.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <cmath>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

using namespace velmora::literals;

constexpr char kZero[] = "000\r000\r";

QStringList Names(const Units& units) {
    QStringList names;
    for (int n = 1; n <= units.count(); ++n)
        names << units.name(n);
    return names;
}

TEST(Units, StoredUnitsThatCannotRunAreLeftOutAndTheOthersRun) {
    const QString longName(10000, u'x');
    struct Case {
        const char* what;
        QStringList stored; // added to a bench of three
        QStringList names;  // the units that run, in order
        QStringList messages;
    };
    const QList<Case> cases = {
        {"three units", {}, {"Unit 1", "Unit 2", "Unit 3"}, {}},
        {"a port that is no number",
         {"Unit2/Com=banana"},
         {"Unit 1", "Unit 3"},
         {"[Unit2] left out: Com=banana cannot be read"}},
        {"a model that is no number",
         {"Unit3/NLU=20 V", "Unit3/NLI=-1"},
         {"Unit 1", "Unit 2"},
         {"[Unit3] left out: NLU=20 V, NLI=-1 cannot be read"}},
        {"a gap",
         {"Unit5/Com=6"},
         {"Unit 1", "Unit 2", "Unit 3"},
         {"[Unit5] left out: units are numbered 2 to 8 without gaps, and there is no [Unit4]"}},
        {"a ninth unit",
         {"Unit9/Com=9"},
         {"Unit 1", "Unit 2", "Unit 3"},
         {"[Unit9] left out: units are numbered 2 to 8"}},
        {"a name twice, in another case",
         {"Unit2/Name=Charger", "Unit3/Name=CHARGER"},
         {"Unit 1", "Charger"},
         {"[Unit3] left out: its name \"CHARGER\" is Charger (Unit2)'s"}},
        {"a control character in a name",
         {"Unit2/Name=a\tb"},
         {"Unit 1", "Unit 3"},
         {"[Unit2] left out: a control character in its name"}},
        {"a name of 10,000 characters",
         {"Unit2/Name=" + longName},
         {"Unit 1", "Unit 3"},
         {"[Unit2] left out: a name of 10000 characters (at most 64)"}},
        {"one port twice",
         {"Unit3/Com=3"},
         {"Unit 1", "Unit 2"},
         {"[Unit3] left out: its port COM3 (/dev/ttyS2) is Unit 2 (Unit2)'s device"}},
        {"one record file twice",
         {"Unit3/Log=Velmora-2.log"},
         {"Unit 1", "Unit 2"},
         {"[Unit3] left out: it would record into Velmora-2.log, as Unit 2 (Unit2) does"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UnitsOnFakeLines bench(UnitsOnFakeLines::Bench(3) + c.stored);
        bench.start();
        EXPECT_EQ(Names(*bench.units), c.names);
        EXPECT_EQ(bench.messages, c.messages);
        for (int n = 1; n <= bench.units->count(); ++n)
            EXPECT_EQ(bench.units->at(n).number(), n);
    }
}

// Two COM names of one device, one of them through a symbolic link.
TEST(Units, OneDeviceUnderTwoNamesIsOneDevice) {
    UnitsOnFakeLines bench;
    const QString device = bench.path("ttyUSB0");
    QFile(device).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(device, bench.path("bench-supply")));
    SessionOnFakeLine::Store(bench.settingsPath(),
                             UnitsOnFakeLines::Bench(3) +
                                 QStringList{"Ports/COM3=" + device,
                                             "Ports/COM4=" + bench.path("bench-supply")});
    bench.start();
    EXPECT_EQ(Names(*bench.units), (QStringList{"Unit 1", "Unit 2"}));
    ASSERT_EQ(bench.messages.size(), 1);
    EXPECT_TRUE(bench.messages[0].startsWith("[Unit3] left out: its port COM4 ("));
    EXPECT_TRUE(bench.messages[0].endsWith(") is Unit 2 (Unit2)'s device"));
}

TEST(Units, AddingAndRemovingKeepTheNumbersAndTheFileWithoutGaps) {
    UnitsOnFakeLines bench(UnitsOnFakeLines::Bench(3));
    bench.start();
    QString why;
    EXPECT_EQ(bench.units->add(3, Model::Small1A20V, "Again", &why), 0);
    EXPECT_EQ(why, "[Unit4] left out: its port COM3 (/dev/ttyS2) is Unit 2 (Unit2)'s device");
    EXPECT_EQ(bench.units->add(5, Model::Small1A20V, "Charger"), 4);
    EXPECT_FALSE(bench.units->remove(1, &why));
    EXPECT_EQ(why, "unit 1 stays; there is no unit 1 to remove");

    bench.units->at(3).unit().request(SetpointSource::SetValues, {5000_mV, 500_mA});
    ASSERT_TRUE(bench.units->remove(2));
    bench.clock.advanceMs(1000);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Names(*bench.units), (QStringList{"Unit 1", "Unit 3", "Charger"}));
    QSettings stored(bench.settingsPath(), QSettings::IniFormat);
    EXPECT_EQ(stored.childGroups().filter("Unit"), (QStringList{"Unit2", "Unit3"}));
    EXPECT_EQ(stored.value("Unit2/Com").toString(), "4");
    EXPECT_EQ(stored.value("Unit3/Name").toString(), "Charger");
    // The unit that moved keeps its line and its set-points.
    EXPECT_EQ(bench.units->at(2).unit().setpoints(), (Setpoints{5000_mV, 500_mA}));

    UnitsOnFakeLines again;
    SessionOnFakeLine::Store(again.settingsPath(), {});
    QFile::remove(again.settingsPath());
    QFile::copy(bench.settingsPath(), again.settingsPath());
    again.start();
    EXPECT_EQ(Names(*again.units), (QStringList{"Unit 1", "Unit 3", "Charger"}));
    EXPECT_TRUE(again.messages.isEmpty()) << again.messages.join('\n').toStdString();
}

TEST(Units, CoupledUnitsTakeEverySetpointOrNone) {
    UnitsOnFakeLines bench(UnitsOnFakeLines::Bench(3));
    bench.start();
    bench.units->setCoupled({1, 3});
    int sent = 0;
    BenchAnswer answer = bench.units->request(3, SetpointSource::Remote, {12000_mV, {}},
                                              [&] { ++sent; });
    EXPECT_EQ(answer.queued, 2);
    bench.clock.advanceMs(1000);
    EXPECT_EQ(sent, 2);
    EXPECT_EQ(bench.takeWrites(), (QByteArrayList{"120\r000\r", "", "120\r000\r"}));
    // 22 V is within unit 3's 25 V and past unit 1's 20 V: neither gets it.
    answer = bench.units->request(3, SetpointSource::Remote, {22000_mV, {}});
    EXPECT_EQ(answer.refusedBy, 1);
    EXPECT_EQ(answer.answer.verdict, DoorAnswer::Verdict::PastModelRange);
    bench.clock.advanceMs(1000);
    EXPECT_EQ(bench.takeWrites(), (QByteArrayList{"", "", ""}));
    // Unit 2 is not coupled: its set-points are its own.
    EXPECT_EQ(bench.units->request(2, SetpointSource::Remote, {3000_mV, {}}).queued, 1);
}

TEST(Units, WithTripAllATripOnOneUnitZeroesEveryUnit) {
    UnitsOnFakeLines bench(UnitsOnFakeLines::Bench(3) +
                           QStringList{"Unit2/OCP_mA=800", "Unit2/Frames=1", "Bench/TripAll=true"});
    bench.start();
    ASSERT_TRUE(bench.units->tripAll());
    for (int n = 1; n <= 3; ++n)
        bench.units->at(n).unit().request(SetpointSource::SetValues, {5000_mV, 900_mA});
    bench.clock.advanceMs(1000);
    bench.takeWrites();
    bench.feedFrame(2, "050", "085");
    bench.clock.advanceMs(1000);
    EXPECT_EQ(bench.takeWrites(), (QByteArrayList{kZero, kZero, kZero}));
    ASSERT_EQ(bench.messages.size(), 2);
    EXPECT_TRUE(bench.messages[0].startsWith("Unit 1: output zeroed: Unit 2 tripped: "));

    EXPECT_TRUE(bench.units->setTripAll(false));
    EXPECT_EQ(QSettings(bench.settingsPath(), QSettings::IniFormat).value("Bench/TripAll"),
              "false");
}

} // namespace
} // namespace velmora::test

namespace velmora::test {
namespace {

// What the network services see of the bench and what their commands do:
// each row on a fresh bench of two (1A/20V and 2.5A/25V), unit 2 coupled
// with unit 1 in the rows that say so.
TEST(UnitsFeed, CommandsFromOutsideGoThroughTheDoor) {
    struct Case {
        int unit;
        UnitCommand command;
        bool coupled;
        const char* refusal;
        QByteArrayList sent;
    };
    const auto set = [](std::optional<double> v, std::optional<double> a) {
        return UnitCommand{UnitCommand::Setpoints, v, a, false};
    };
    const Case cases[] = {
        {1, set(5, 0.5), false, "", {"050\r100\r", ""}},
        {2, set(12, {}), false, "", {"", "120\r000\r"}},
        {1, set(21, {}), false, "voltage 21.0 V is past the 1A/20V model's 20.0 V", {"", ""}},
        {1, set(1e308, {}), false, "voltage 1e+308 V is past every model's range", {"", ""}},
        {1, set(std::nan(""), {}), false, "voltage nan V is past every model's range", {"", ""}},
        {1, set({}, {}), false, "no set-point given", {"", ""}},
        {3, set(1, {}), false, "there is no unit 3", {"", ""}},
        {1, set(12, {}), true, "", {"120\r000\r", "120\r000\r"}},
        {2, set(22, {}), true, "Unit 1: voltage 22.0 V is past the 1A/20V model's 20.0 V", {"", ""}},
        {1, {UnitCommand::Output, {}, {}, false}, false, "", {"000\r000\r", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        UnitsOnFakeLines bench(UnitsOnFakeLines::Bench(2));
        bench.start();
        UnitsFeed feed(*bench.units);
        if (c.coupled) bench.units->setCoupled({1, 2});
        EXPECT_EQ(feed.command(c.unit, c.command), c.refusal);
        bench.clock.advanceMs(1000);
        EXPECT_EQ(bench.takeWrites(), c.sent);
    }
}

TEST(UnitsFeed, StateCountsAndEventsFollowEachUnit) {
    UnitsOnFakeLines bench(UnitsOnFakeLines::Bench(3) +
                           QStringList{"Unit3/OCP_mA=500", "Unit3/Frames=1"});
    bench.start();
    UnitsFeed feed(*bench.units);
    QStringList events;
    QObject::connect(&feed, &BenchFeed::happened, [&](int unit, const QString& kind, const QString& text) {
        events << QStringLiteral("%1 %2: %3").arg(unit).arg(kind, text);
    });
    EXPECT_EQ(feed.command(3, {UnitCommand::Setpoints, 12.0, 1.0, false}), "");
    bench.clock.advanceMs(1000);
    bench.feedFrame(3, "120", "060");
    bench.line(3).feed("D 1x0  0?0  ");
    bench.clock.settle();
    const UnitState three = feed.state(3);
    EXPECT_TRUE(three.measured);
    EXPECT_DOUBLE_EQ(three.setVoltage, 0.0) << "the trip zeroed it";
    EXPECT_TRUE(three.tripped);
    EXPECT_EQ(three.framesReceived, 1u);
    EXPECT_EQ(three.framesUnreadable, 1u);
    EXPECT_EQ(three.commandsSent, 2u);
    EXPECT_EQ(feed.setpointLimits(1), (SetpointLimits{20.0, 1.0, 0.1, 0.005}));
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("3 trip: Output zeroed: current 0.60 A above 0.50 A"));

    // Unit 2 goes: unit 3 becomes unit 2 and keeps its counts.
    bench.units->remove(2);
    bench.clock.advanceMs(1000);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(feed.unitCount(), 2);
    EXPECT_EQ(feed.state(2).framesUnreadable, 1u);
}

} // namespace
} // namespace velmora::test
