// The plot window over a history: record files opened in windows of their
// own with what they would do when played, following and its end at a pan,
// the hover read-out, and export.

#include "core/state.h"
#include "history/history.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/time_zone.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(PlotWindow, RecordFilesOpenInWindowsOfTheirOwnOrSayWhyNot) {
    QTemporaryDir dir;
    const QString partly = dir.filePath("partly.txt");
    ASSERT_TRUE(Write(partly, "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\nnonsense\r\n"
                              "#2024-03-05 14:07:10#,\"1x.3V\",\"1.23A\"\r\n"));
    ASSERT_TRUE(Write(dir.filePath("empty.txt"), ""));
    struct Case {
        QString name;
        bool opens;
        QString note; // in the window, or in the message
    };
    const Case cases[] = {
        {"partly.txt", true, "Could not read all of the file: left out 2 of 3 lines."},
        {"empty.txt", true, ""},
        {"missing.txt", false, "no such file"},
        {".", false, "not a file"},
    };
    test::MessageCatcher messages;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        messages.clear();
        std::unique_ptr<PlotWindow> window(OpenRecordFileWindow(dir.filePath(c.name)));
        ASSERT_EQ(window != nullptr, c.opens);
        if (window) {
            EXPECT_EQ(window->windowTitle(), QString("Plot \u2013 ") + c.name);
            EXPECT_EQ(window->note(), c.note);
            EXPECT_TRUE(messages.messages().isEmpty());
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.messages().isEmpty(); }, 3000));
            EXPECT_TRUE(messages.messages().first().text.contains(c.note))
                << messages.messages().first().text.toStdString();
        }
    }
}

TEST(PlotWindow, AFileShowsWhatItWouldDoWhenPlayed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ctl.dat");
    ASSERT_TRUE(Write(path, "nonsense\r\n"
                            "#2020-01-01 10:00:00#,\"05.0V\",\"0.40A\"\r\n"
                            "#2020-01-01 10:00:10#,\"12.3V\",\"5.00A\"\r\n"
                            "#2020-01-01 10:00:05#,\"06.0V\",\"0.50A\"\r\n"));
    const qint16 limit = Shared.CurrentLimit;
    Shared.CurrentLimit = 1000; // where 5.00 A makes a command of nine characters
    std::unique_ptr<PlotWindow> window(OpenRecordFileWindow(path));
    Shared.CurrentLimit = limit;
    ASSERT_TRUE(window);
    const auto ms = [](int second) {
        return QDateTime(QDate(2020, 1, 1), QTime(10, 0, second)).toMSecsSinceEpoch();
    };
    struct Step {
        qint64 ms;
        int millivolts, milliamps;
    };
    // The record stamped before the one ahead of it goes out right after that one.
    const Step steps[] = {{ms(0), 5000, 400}, {ms(10), 6000, 500}};
    const auto& plan = window->view()->plan();
    ASSERT_EQ(plan.size(), std::size(steps));
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].ms, steps[i].ms) << i;
        EXPECT_EQ(plan[i].setpoints.millivolts, steps[i].millivolts) << i;
        EXPECT_EQ(plan[i].setpoints.milliamps, steps[i].milliamps) << i;
    }
    EXPECT_EQ(window->planNotes(),
              QStringList({"every record is past due: the player sends all 2 commands at once, "
                           "back to back",
                           "line 1 skipped: cannot be read",
                           "line 3 skipped: command would be 9 characters"}));
    EXPECT_TRUE(window->readoutAt(ms(10)).endsWith("line 3 skipped: command would be 9 characters"))
        << window->readoutAt(ms(10)).toStdString();
    EXPECT_FALSE(window->readoutAt(ms(0)).contains("skipped"));
}

TEST(PlotWindow, PlanStepsAndSkipMarksLieOnTheirRecordsInEveryZone) {
    struct Case {
        const char* zone;
        const char* stamps[3]; // two records sent, then one skipped at its time
        const char* utc[3];    // where the plot puts them
    };
    const Case cases[] = {
        {"UTC",
         {"2026-03-29 01:30:00", "2026-03-29 03:30:00", "2026-03-29 03:40:00"},
         {"2026-03-29T01:30:00Z", "2026-03-29T03:30:00Z", "2026-03-29T03:40:00Z"}},
        // The clocks go from 02:00 to 03:00 here that day.
        {"Europe/Berlin",
         {"2026-03-29 01:30:00", "2026-03-29 03:30:00", "2026-03-29 03:40:00"},
         {"2026-03-29T00:30:00Z", "2026-03-29T01:30:00Z", "2026-03-29T01:40:00Z"}},
        // Stamps the clock skips have come when it jumps past them.
        {"Europe/Berlin",
         {"2026-03-29 01:59:00", "2026-03-29 02:30:00", "2026-03-29 02:45:00"},
         {"2026-03-29T00:59:00Z", "2026-03-29T01:00:00Z", "2026-03-29T01:00:00Z"}},
        // ... and back from 03:00 to 02:00.
        {"Europe/Berlin",
         {"2026-10-25 01:30:00", "2026-10-25 03:30:00", "2026-10-25 04:00:00"},
         {"2026-10-24T23:30:00Z", "2026-10-25T02:30:00Z", "2026-10-25T03:00:00Z"}},
        {"America/New_York",
         {"2026-03-08 01:30:00", "2026-03-08 03:30:00", "2026-03-08 12:00:00"},
         {"2026-03-08T06:30:00Z", "2026-03-08T07:30:00Z", "2026-03-08T16:00:00Z"}},
        {"America/New_York",
         {"2026-11-01 00:30:00", "2026-11-01 03:00:00", "2026-11-01 04:00:00"},
         {"2026-11-01T04:30:00Z", "2026-11-01T08:00:00Z", "2026-11-01T09:00:00Z"}},
    };
    QTemporaryDir dir;
    const qint16 limit = Shared.CurrentLimit;
    Shared.CurrentLimit = 1000; // where 5.00 A makes a command of nine characters
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.stamps[0]);
        const test::ScopedTimeZone zone(c.zone);
        const QString path = dir.filePath("zone.dat");
        ASSERT_TRUE(test::WriteFile(path, "#" + QByteArray(c.stamps[0]) +
                                              "#,\"05.0V\",\"0.40A\"\r\n" + "#" + c.stamps[1] +
                                              "#,\"06.0V\",\"0.50A\"\r\n" + "#" + c.stamps[2] +
                                              "#,\"12.3V\",\"5.00A\"\r\n"));
        std::unique_ptr<PlotWindow> window(OpenRecordFileWindow(path));
        ASSERT_TRUE(window);
        const auto utc = [&](int i) {
            return QDateTime::fromString(c.utc[i], Qt::ISODate).toMSecsSinceEpoch();
        };
        const auto& plan = window->view()->plan();
        ASSERT_EQ(plan.size(), 2u);
        EXPECT_EQ(plan[0].ms, utc(0));
        EXPECT_EQ(plan[1].ms, utc(1));
        // Each record's own sample is drawn at the same moment.
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(window->readoutAt(utc(i)).startsWith(
                QDateTime::fromMSecsSinceEpoch(utc(i)).toString("yyyy-MM-dd hh:mm:ss")))
                << i << " " << window->readoutAt(utc(i)).toStdString();
        // The mark is where the hover finds it, and only there.
        EXPECT_TRUE(window->readoutAt(utc(2)).contains("line 3 skipped"));
        EXPECT_FALSE(window->readoutAt(utc(2) - 3'600'000).contains("line 3 skipped"));
        EXPECT_FALSE(window->readoutAt(utc(2) + 3'600'000).contains("line 3 skipped"));
    }
    Shared.CurrentLimit = limit;
}

TEST(PlotWindow, FollowsUntilPannedAndHoverTellsTheValues) {
    History history;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    history.addMeasurement(now - 30'000, {123, 45});
    history.addMeasurement(now - 20'000, {50, 40});
    history.addSetpoints(now - 31'000, {12'000, 500});
    PlotWindow window(&history);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.following());
    const QCPRange range = window.view()->xAxis->range();
    EXPECT_NEAR(range.upper, now / 1000.0, 2);
    EXPECT_NEAR(range.size(), 600, 1) << "ten minutes at first";

    window.view()->xAxis->moveRange(-100); // as a drag does
    EXPECT_FALSE(window.following());
    window.follow();
    EXPECT_TRUE(window.following());
    window.setSpan(PlotWindow::LastMinute);
    EXPECT_NEAR(window.view()->xAxis->range().size(), 60, 1);

    const QString at = QDateTime::fromMSecsSinceEpoch(now - 30'000).toString("yyyy-MM-dd hh:mm:ss");
    EXPECT_EQ(window.readoutAt(now - 29'000), at + "   12.3 V   0.45 A   5.535 W");
    EXPECT_EQ(window.readoutAt(now), window.readoutAt(now - 20'000));
}

TEST(PlotWindow, SavesDataAndPicturesOfWhatItHolds) {
    History history;
    for (int i = 0; i < 100; ++i)
        history.addMeasurement(1'700'000'000'000 + i * 1000LL, {i, 2 * i});
    PlotWindow window(&history);
    window.show();
    QTemporaryDir dir;
    ASSERT_TRUE(window.saveData(dir.filePath("data.csv")));
    QFile csv(dir.filePath("data.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().split('\n');
    ASSERT_EQ(rows.size(), 102); // header, 100 rows, nothing after the last line end
    EXPECT_EQ(rows[0], "time,voltage_V,current_A,power_W");
    EXPECT_TRUE(rows[100].endsWith(",9.9,1.98,19.602")) << rows[100].toStdString();

    ASSERT_TRUE(window.savePicture(dir.filePath("view.png")));
    EXPECT_EQ(QImage(dir.filePath("view.png")).size(), window.view()->size());
    ASSERT_TRUE(window.savePicture(dir.filePath("view.svg")));
    QFile svg(dir.filePath("view.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));
    EXPECT_FALSE(window.saveData(dir.filePath("no/such/folder/data.csv")));
}

} // namespace
} // namespace velmora
