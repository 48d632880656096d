// The plot window over a session: record files opened in windows of their
// own with what they would do when played, following and its end at a pan,
// the hover read-out, and export.

#include "history/history.h"
#include "meters/meter_text.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"
#include "plot/record_file_load.h"
#include "session/session.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/session_on_fake_line.h"
#include "support/time_zone.h"
#include "support/wait_until.h"

#include "support/print_qt.h"
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>
#include <memory>

namespace velmora {
namespace {

using namespace std::chrono_literals;

// Opens a record file's window on the session and waits until the file has
// been read.
std::unique_ptr<PlotWindow> OpenAndRead(Session& session, const QString& path) {
    std::unique_ptr<PlotWindow> window(OpenRecordFileWindow(session, path));
    if (window) {
        EXPECT_TRUE(test::WaitUntil([&] { return !window->loading(); }, 30s));
    }
    return window;
}

// A recording of `lines` lines, one a second from 2024-03-05 on, that
// takes the plot a while to read.
bool WriteLongRecording(const QString& path, int lines) {
    QByteArray bytes;
    bytes.reserve(qsizetype(lines) * 40);
    const QDate start(2024, 3, 5);
    for (int i = 0; i < lines; ++i) {
        const QDate day = start.addDays(i / 86'400);
        const int second = i % 86'400;
        char line[64];
        const int size =
            std::snprintf(line, sizeof line, "#%04d-%02d-%02d %02d:%02d:%02d#,\"%s\",\"0.40A\"\r\n",
                          day.year(), day.month(), day.day(), second / 3600, second / 60 % 60,
                          second % 60, i % 2 ? "12.3V" : "05.0V");
        bytes.append(line, size);
    }
    return test::WriteFile(path, bytes);
}

TEST(PlotWindow, RecordFilesOpenInWindowsOfTheirOwnOrSayWhyNot) {
    QTemporaryDir dir;
    const QString partly = dir.filePath("partly.txt");
    ASSERT_TRUE(test::WriteFile(partly, "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\nnonsense\r\n"
                                        "#2024-03-05 14:07:10#,\"1x.3V\",\"1.23A\"\r\n"));
    ASSERT_TRUE(test::WriteFile(dir.filePath("empty.txt"), ""));
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
    test::SessionOnFakeLine unit;
    test::MessageCatcher messages;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        messages.clear();
        std::unique_ptr<PlotWindow> window(OpenAndRead(*unit.session, dir.filePath(c.name)));
        ASSERT_EQ(window != nullptr, c.opens);
        if (window) {
            EXPECT_EQ(window->windowTitle(), QString("Plot \u2013 ") + c.name);
            EXPECT_EQ(window->note(), c.note);
            EXPECT_TRUE(messages.messages().isEmpty());
            EXPECT_EQ(window->metersText(), "") << "the meters are the live window's";
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
    ASSERT_TRUE(test::WriteFile(path, "nonsense\r\n"
                                      "#2020-01-01 10:00:00#,\"05.0V\",\"0.40A\"\r\n"
                                      "#2020-01-01 10:00:10#,\"12.3V\",\"5.00A\"\r\n"
                                      "#2020-01-01 10:00:05#,\"06.0V\",\"0.50A\"\r\n"));
    test::SessionOnFakeLine unit;
    // The model where 5.00 A makes a command of nine characters.
    unit.session->unit().chooseModel(Model::Small1A20V);
    std::unique_ptr<PlotWindow> window(OpenAndRead(*unit.session, path));
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
        EXPECT_EQ(plan[i].setpoints.voltage.value, steps[i].millivolts) << i;
        EXPECT_EQ(plan[i].setpoints.current.value, steps[i].milliamps) << i;
    }
    EXPECT_EQ(window->planNotes(),
              QStringList({"every record is past due: the player sends all 2 commands at once, "
                           "back to back",
                           "line 1 skipped: cannot be read",
                           "line 3 skipped: command would be 9 characters"}));
    // The dashed steps hold the last one to the view's edge, however often drawn.
    window->setSpan(PlotWindow::LastMinute);
    window->setSpan(PlotWindow::Everything);
    for (int i = 0; i < window->view()->graphCount(); ++i) {
        const QCPGraph* graph = window->view()->graph(i);
        if (graph->name() != "Voltage planned") continue;
        ASSERT_EQ(graph->dataCount(), int(std::size(steps)) + 1);
        EXPECT_DOUBLE_EQ((graph->data()->constEnd() - 1)->key,
                         std::floor(window->view()->xAxis->range().upper * 1000) / 1000);
        EXPECT_DOUBLE_EQ((graph->data()->constEnd() - 1)->value, 6.0);
    }
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
    test::SessionOnFakeLine unit;
    // The model where 5.00 A makes a command of nine characters.
    unit.session->unit().chooseModel(Model::Small1A20V);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.stamps[0]);
        const test::TimeZoneForTest zone(c.zone);
        const QString path = dir.filePath("zone.dat");
        ASSERT_TRUE(test::WriteFile(path, "#" + QByteArray(c.stamps[0]) +
                                              "#,\"05.0V\",\"0.40A\"\r\n" + "#" + c.stamps[1] +
                                              "#,\"06.0V\",\"0.50A\"\r\n" + "#" + c.stamps[2] +
                                              "#,\"12.3V\",\"5.00A\"\r\n"));
        std::unique_ptr<PlotWindow> window(OpenAndRead(*unit.session, path));
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
}

TEST(PlotWindow, TheProgramGoesOnWhileABigFileIsRead) {
    QTemporaryDir dir;
    const QString path = dir.filePath("day.log");
    ASSERT_TRUE(WriteLongRecording(path, 500'000));
    test::SessionOnFakeLine unit;
    // A timer on the window's thread, as the panel's read-outs and the
    // player's waits are: it must keep ticking while the file is read.
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> ticks;
    int shownProgress = 0;
    QPointer<PlotWindow> window;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ticks.push_back(clock.elapsed());
        if (window && window->loading())
            shownProgress = std::max(shownProgress, window->findChild<QProgressBar*>()->value());
    });
    timer.start(10);
    const qint64 opened = clock.elapsed();
    ticks.push_back(opened);
    window = OpenRecordFileWindow(*unit.session, path);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), QString("Plot \u2013 day.log"));
    ASSERT_TRUE(test::WaitUntil([&] { return window->view()->isVisible(); }, 60s));
    const qint64 shown = clock.elapsed();
    ticks.push_back(shown);
    qint64 longest = 0;
    for (std::size_t i = 1; i < ticks.size(); ++i)
        longest = std::max(longest, ticks[i] - ticks[i - 1]);
    EXPECT_LT(longest, std::max<qint64>((shown - opened) / 2, 250))
        << "the window's thread stood still for " << longest << " of " << shown - opened << " ms";
    EXPECT_GT(shownProgress, 0) << "no progress shown";
    // Drawn at the width the window has, not the width before it was laid out.
    QCPGraph* volts = nullptr;
    for (int i = 0; i < window->view()->graphCount(); ++i)
        if (window->view()->graph(i)->name() == "Voltage") volts = window->view()->graph(i);
    ASSERT_TRUE(volts);
    EXPECT_TRUE(test::WaitUntil([&] { return volts->dataCount() >= window->view()->width(); }))
        << volts->dataCount() << " points over " << window->view()->width() << " pixels";
    EXPECT_FALSE(window->loading());
    EXPECT_EQ(window->note(), "");
    EXPECT_EQ(window->view()->plan().size(), std::size_t(PlaybackPlan::kMaxPlanned));
    const double first = QDateTime(QDate(2024, 3, 5), QTime(0, 0)).toSecsSinceEpoch();
    EXPECT_LE(window->view()->xAxis->range().lower, first) << "everything in view";
    EXPECT_GE(window->view()->xAxis->range().upper, first + 499'999);
    delete window;
}

TEST(PlotWindow, CancelOrClosingTheWindowStopsTheReadingAndLeavesNoPlot) {
    QTemporaryDir dir;
    const QString path = dir.filePath("day.log");
    ASSERT_TRUE(WriteLongRecording(path, 500'000));
    test::SessionOnFakeLine unit;
    test::MessageCatcher messages;
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "Cancel" : "closing the window");
        QPointer<PlotWindow> window = OpenRecordFileWindow(*unit.session, path);
        ASSERT_TRUE(window && window->loading());
        QPointer<RecordFileLoad> load = window->fileLoad();
        bool ended = false, cancelled = false;
        QObject::connect(load, &RecordFileLoad::finished, [&] {
            ended = true;
            cancelled = load->cancelled();
        });
        if (cancel) {
            QPushButton* button = nullptr;
            for (QPushButton* b : window->findChildren<QPushButton*>())
                if (b->text() == "Cancel") button = b;
            ASSERT_TRUE(button && button->isVisible());
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            window->close();
        }
        // The reading stops and lets go of what it held; no plot is left.
        EXPECT_TRUE(test::WaitUntil([&] { return !window && !load; }, 10s));
        EXPECT_TRUE(ended);
        EXPECT_TRUE(cancelled) << "read to its end";
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<PlotWindow*>(w));
    }
    EXPECT_TRUE(messages.messages().isEmpty());
}

TEST(PlotWindow, AFileThatFailsWhileReadGivesTheMessageAndTheWindowCloses) {
    // A regular file as far as its name tells, whose reading fails at once.
    test::SessionOnFakeLine unit;
    test::MessageCatcher messages;
    QPointer<PlotWindow> window = OpenRecordFileWindow(*unit.session, "/proc/self/mem");
    ASSERT_TRUE(window);
    ASSERT_TRUE(test::WaitUntil([&] { return !messages.messages().isEmpty(); }, 10s));
    EXPECT_EQ(messages.messages().first().title, "Plot");
    EXPECT_TRUE(messages.messages().first().text.startsWith(
        "Cannot open the record file /proc/self/mem: read error"))
        << messages.messages().first().text.toStdString();
    EXPECT_TRUE(test::WaitUntil([&] { return !window; }));
}

TEST(PlotWindow, FollowsUntilPannedAndHoverTellsTheValues) {
    test::SessionOnFakeLine unit;
    Session& session = *unit.session;
    session.unit().chooseModel(Model::Large2A5_25V);
    unit.clock.advanceMs(100); // the zero it sends
    const qint64 start = session.clock().localNow().toMSecsSinceEpoch();
    ASSERT_TRUE(session.unit()
                    .request(SetpointSource::SetValues, {Millivolts(12'000), Milliamps(500)})
                    .queued());
    unit.clock.advanceMs(1000);
    unit.feedFrame("123", "045");
    unit.clock.advanceMs(10'000);
    unit.feedFrame("050", "040");
    unit.clock.advanceMs(20'000);
    const qint64 now = session.clock().localNow().toMSecsSinceEpoch();
    ASSERT_EQ(now, start + 31'000);
    ASSERT_EQ(session.history().setpoints().size(), 2u) << "the command went out";

    PlotWindow window(session);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.following());
    const QCPRange range = window.view()->xAxis->range();
    EXPECT_NEAR(range.upper, now / 1000.0, 2) << "now on the session's clock";
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
    // The window goes by the session's clock as it moves on.
    unit.clock.advanceMs(60'000);
    window.follow();
    EXPECT_NEAR(window.view()->xAxis->range().upper, (now + 60'000) / 1000.0, 2);
}

TEST(PlotWindow, SavesDataAndPicturesOfWhatItHolds) {
    test::SessionOnFakeLine unit;
    for (int i = 0; i < 100; ++i) {
        unit.feedFrame(QByteArray::number(i).rightJustified(3, '0').constData(),
                       QByteArray::number(2 * i).rightJustified(3, '0').constData());
        unit.clock.advanceMs(1000);
    }
    PlotWindow window(*unit.session);
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

// Frames two seconds apart: the first at once, then `count` more.
void FeedEveryTwoSeconds(test::SessionOnFakeLine& unit, int count, const char* volts,
                         const char* amps) {
    for (int i = 0; i < count; ++i) {
        unit.clock.advanceMs(2000);
        unit.feedFrame(volts, amps);
    }
}

QPushButton* ButtonOf(const QWidget& window, const QString& text) {
    for (QPushButton* button : window.findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

TEST(PlotWindow, TheLiveWindowShowsTheSessionsMetersUnderThePlot) {
    test::SessionOnFakeLine unit;
    Session& session = *unit.session;
    session.unit().chooseModel(Model::Large2A5_25V);
    ASSERT_TRUE(session.unit()
                    .request(SetpointSource::SetValues, {Millivolts(15'000), Milliamps(500)})
                    .queued());
    PlotWindow window(session);
    window.show();
    const QString nothing = QString::fromLatin1(kNothingMeasured);
    EXPECT_EQ(window.metersText(), nothing);
    QLabel* line = nullptr;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->text() == nothing) line = label;
    ASSERT_TRUE(line);
    EXPECT_EQ(line->toolTip(), "CV/CC is inferred from the read-outs and the set-points");
    QPushButton* reset = ButtonOf(window, "Reset meters");
    ASSERT_TRUE(reset && reset->isVisible());

    struct Step {
        const char* what;
        std::function<void()> act;
        bool drawnAtOnce; // else at the next redraw, not at each frame
        const char* line;
    };
    const Step steps[] = {
        {"an hour at the current limit, after a first frame below it",
         [&] {
             unit.feedFrame("100", "040");
             FeedEveryTwoSeconds(unit, 1800, "120", "050");
         },
         false,
         "0.5000 Ah  5.999 Wh  01:00:00  CC   V 10.0\u201312.0 (12.00)  I 0.40\u20130.50 (0.50)"},
        {"Reset meters", [&] { QTest::mouseClick(reset, Qt::LeftButton); }, true, kNothingMeasured},
        {"ten seconds after the reset",
         [&] {
             unit.feedFrame("120", "050");
             FeedEveryTwoSeconds(unit, 5, "120", "050");
         },
         false,
         "0.0014 Ah  0.017 Wh  00:00:10  CC   V 12.0\u201312.0 (12.00)  I 0.50\u20130.50 (0.50)"},
        {"the window closed for ten seconds, then shown again",
         [&] {
             window.close();
             FeedEveryTwoSeconds(unit, 5, "120", "050");
             window.show();
         },
         true,
         "0.0028 Ah  0.033 Wh  00:00:20  CC   V 12.0\u201312.0 (12.00)  I 0.50\u20130.50 (0.50)"},
        {"a reset from elsewhere", [&] { session.resetMeters(); }, false, kNothingMeasured},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const QString before = window.metersText();
        step.act();
        const QString expected = QString::fromUtf8(step.line);
        EXPECT_EQ(window.metersText(), step.drawnAtOnce ? expected : before);
        EXPECT_TRUE(test::WaitUntil([&] { return window.metersText() == expected; }))
            << window.metersText().toStdString();
    }
}

} // namespace
} // namespace velmora
