// Record and control files across the changes of the clock: in Berlin, to
// summer time on 2026-03-29 and back on 2026-10-25 (at 01:00 UTC), and in
// UTC, where the clock never changes. Each case sets its own zone.

#include "files/check.h"
#include "files/plan.h"
#include "files/retime.h"
#include "recording/local_clock.h"
#include "recording/record_format.h"
#include "recording/wall_time.h"
#include "support/files.h"
#include "support/print_qt.h"
#include "support/time_zone.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velmora;
using test::Outcome;
using test::RunCommand;
using test::TimeZoneForTest;

namespace {

constexpr const char* kBerlin = "Europe/Berlin";
constexpr const char* kUtc = "UTC";

qint64 Wall(const char* text) {
    return *ParseMoment(QString::fromLatin1(text));
}

// "2026-03-29T01:00:00Z" in seconds since 1970.
qint64 Utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toSecsSinceEpoch();
}

// The control file of a list of stamps, one set-point throughout.
QByteArray Records(const QStringList& stamps) {
    QByteArray records;
    for (const QString& stamp : stamps)
        records += FormatRecord(FromWallSeconds(Wall(stamp.toLatin1())), "05.0V", "0.40A");
    return records;
}

class ClockChanges : public ::testing::Test {
  protected:
    QString write(const char* name, const QByteArray& bytes) {
        EXPECT_TRUE(test::WriteFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

} // namespace

TEST(LocalClock, ReadingsAcrossTheChangesOfTheClock) {
    using R = Reading;
    const struct {
        const char* zone;
        const char* wall;
        Reading reading;
        const char* first; // UTC
        const char* last;
        const char* shownAtFirst = nullptr; // when it is not `wall`
    } cases[] = {
        {kBerlin, "2026-03-28 12:00:00", R::Once, "2026-03-28T11:00:00Z", "2026-03-28T11:00:00Z"},
        {kBerlin, "2026-03-29 01:59:59", R::Once, "2026-03-29T00:59:59Z", "2026-03-29T00:59:59Z"},
        {kBerlin, "2026-03-29 02:00:00", R::Skipped, "2026-03-29T01:00:00Z", "2026-03-29T01:00:00Z",
         "2026-03-29 03:00:00"},
        {kBerlin, "2026-03-29 02:30:00", R::Skipped, "2026-03-29T01:00:00Z", "2026-03-29T01:00:00Z",
         "2026-03-29 03:00:00"},
        {kBerlin, "2026-03-29 03:00:00", R::Once, "2026-03-29T01:00:00Z", "2026-03-29T01:00:00Z"},
        {kBerlin, "2026-03-29 03:30:00", R::Once, "2026-03-29T01:30:00Z", "2026-03-29T01:30:00Z"},
        {kBerlin, "2026-10-25 01:59:59", R::Once, "2026-10-24T23:59:59Z", "2026-10-24T23:59:59Z"},
        {kBerlin, "2026-10-25 02:00:00", R::Twice, "2026-10-25T00:00:00Z", "2026-10-25T01:00:00Z"},
        {kBerlin, "2026-10-25 02:30:00", R::Twice, "2026-10-25T00:30:00Z", "2026-10-25T01:30:00Z"},
        {kBerlin, "2026-10-25 02:59:59", R::Twice, "2026-10-25T00:59:59Z", "2026-10-25T01:59:59Z"},
        {kBerlin, "2026-10-25 03:00:00", R::Once, "2026-10-25T02:00:00Z", "2026-10-25T02:00:00Z"},
        {kBerlin, "2026-12-31 23:59:59", R::Once, "2026-12-31T22:59:59Z", "2026-12-31T22:59:59Z"},
        {kUtc, "2026-03-29 02:30:00", R::Once, "2026-03-29T02:30:00Z", "2026-03-29T02:30:00Z"},
        {kUtc, "2026-10-25 02:30:00", R::Once, "2026-10-25T02:30:00Z", "2026-10-25T02:30:00Z"},
    };
    // One clock a zone, row after row, as a file is read; and a new one for
    // each row: what the clock remembers of a day must not change a result.
    for (const char* zoneName : {kBerlin, kUtc}) {
        const TimeZoneForTest zone(zoneName);
        LocalClock clock;
        for (const auto& c : cases) {
            if (c.zone != zoneName) continue;
            SCOPED_TRACE(std::string(c.zone) + " " + c.wall);
            const LocalMoment expected{c.reading, Utc(c.first), Utc(c.last)};
            EXPECT_EQ(clock.momentOf(Wall(c.wall)), expected);
            EXPECT_EQ(LocalClock().momentOf(Wall(c.wall)), expected);
            const qint64 shown = Wall(c.shownAtFirst ? c.shownAtFirst : c.wall);
            EXPECT_EQ(ShowMoment(clock.wallOf(expected.first)), ShowMoment(shown));
            EXPECT_EQ(ShowMoment(LocalClock().wallOf(expected.first)), ShowMoment(shown));
            EXPECT_EQ(ShowMoment(clock.wallOf(expected.last)),
                      ShowMoment(c.reading == R::Twice ? Wall(c.wall) : shown));
        }
    }
}

TEST_F(ClockChanges, PlanStepsInTheTimeThatPasses) {
    const QString list = write("list.txt", "5.0 0.40 3600\n");
    const struct {
        const char* zone;
        const char* start;
        QStringList stamps;
    } cases[] = {
        {kBerlin,
         "2026-03-29 00:30:00",
         {"2026-03-29 00:30:00", "2026-03-29 01:30:00", "2026-03-29 03:30:00",
          "2026-03-29 04:30:00"}},
        {kBerlin,
         "2026-10-25 01:30:00",
         {"2026-10-25 01:30:00", "2026-10-25 02:30:00", "2026-10-25 02:30:00",
          "2026-10-25 03:30:00"}},
        // The first time the clock shows it.
        {kBerlin,
         "2026-10-25 02:30:00",
         {"2026-10-25 02:30:00", "2026-10-25 02:30:00", "2026-10-25 03:30:00",
          "2026-10-25 04:30:00"}},
        {kUtc,
         "2026-03-29 00:30:00",
         {"2026-03-29 00:30:00", "2026-03-29 01:30:00", "2026-03-29 02:30:00",
          "2026-03-29 03:30:00"}},
        {kUtc,
         "2026-10-25 01:30:00",
         {"2026-10-25 01:30:00", "2026-10-25 02:30:00", "2026-10-25 03:30:00",
          "2026-10-25 04:30:00"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.start);
        const TimeZoneForTest zone(c.zone);
        const Outcome run = RunCommand(RunPlan, {list, "--start", c.start, "--repeat", "4"});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QString::fromLatin1(Records(c.stamps)));
    }
    const TimeZoneForTest zone(kBerlin);
    const Outcome skipped = RunCommand(RunPlan, {list, "--start", "2026-03-29 02:30:00"});
    EXPECT_EQ(skipped.code, 2);
    EXPECT_EQ(skipped.err, "velmora-files plan: --start 2026-03-29 02:30:00 is a time the local "
                           "clock skips (a change to summer time)\n");
    EXPECT_TRUE(skipped.out.isEmpty());
}

TEST_F(ClockChanges, RetimeKeepsTheTimeThatPassesBetweenRecords) {
    const QStringList fallBack = {"2026-10-25 02:59:59", "2026-10-25 02:00:00",
                                  "2026-10-25 03:00:00"};
    const QStringList june = {"2026-06-01 10:00:00", "2026-06-01 11:00:00", "2026-06-01 12:30:00"};
    const struct {
        const char* zone;
        QStringList recorded;
        const char* start;
        QStringList retimed;
    } cases[] = {
        // Recorded as the clock went back: the second 02:00:00 came a second later.
        {kBerlin,
         fallBack,
         "2027-01-01 00:00:00",
         {"2027-01-01 00:00:00", "2027-01-01 00:00:01", "2027-01-01 01:00:01"}},
        {kUtc,
         fallBack,
         "2027-01-01 00:00:00",
         {"2027-01-01 00:00:00", "2026-12-31 23:00:01", "2027-01-01 00:00:01"}},
        {kBerlin,
         june,
         "2026-03-29 01:30:00",
         {"2026-03-29 01:30:00", "2026-03-29 03:30:00", "2026-03-29 05:00:00"}},
        {kBerlin,
         june,
         "2026-10-25 01:30:00",
         {"2026-10-25 01:30:00", "2026-10-25 02:30:00", "2026-10-25 03:00:00"}},
        {kUtc,
         june,
         "2026-03-29 01:30:00",
         {"2026-03-29 01:30:00", "2026-03-29 02:30:00", "2026-03-29 04:00:00"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.start);
        const TimeZoneForTest zone(c.zone);
        const QString rec = write("rec.log", Records(c.recorded));
        const Outcome run = RunCommand(RunRetime, {rec, "--start", c.start});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QString::fromLatin1(Records(c.retimed)));
    }
}

TEST_F(ClockChanges, CheckWarnsOfStampsTheClockSkipsOrShowsTwice) {
    const QString ctl = write(
        "ctl.dat", Records({"2026-03-29 01:30:00", "2026-03-29 02:30:00", "2026-10-25 01:30:00",
                            "2026-10-25 02:30:00", "2026-10-25 03:30:00"}));
    const struct {
        const char* zone;
        QStringList warnings;
    } cases[] = {
        {kBerlin,
         {"warning: line 2: time stamp 2026-03-29 02:30:00 does not exist on the local clock, "
          "which skips it at the change to summer time: the record goes out as the clock jumps "
          "over it",
          "warning: line 4: time stamp 2026-10-25 02:30:00 comes twice on the local clock, at the "
          "change back from summer time: the record goes out the first time"}},
        {kUtc, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        const TimeZoneForTest zone(c.zone);
        const Outcome run =
            RunCommand(RunCheck, {ctl, "--model", "2,5A/25V", "--now", "2026-03-29 00:00:00"});
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out.split(u'\n').filter("local clock"), c.warnings);
        // The listing itself goes by the stamps, as the player does.
        EXPECT_TRUE(run.out.contains("line 2: 050 040 in 02:30:00\n")) << run.out.toStdString();
    }
}
