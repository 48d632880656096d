// The Runs window on a session over a fake line: a chosen file's check, a
// bad file refused whole, a run started, followed step by step and stopped,
// a run started by remote control, the panel's menu entry, and the live
// plot's step boundaries.

#include "panel/runs_text.h"
#include "panel/runs_window.h"
#include "plot/plot_view.h"
#include "plot/plot_window.h"
#include "remote/scpi_client.h"
#include "support/files.h"
#include "support/panel_on_fake_line.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;

struct RunsRig {
    RunsRig() : unit({"Netzteil/Log=" + dir.filePath("rec.log")}) {}
    ~RunsRig() { delete window; }
    QString write(const char* name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        test::WriteFile(path, text);
        return path;
    }
    RunsWindow& open() {
        window = new RunsWindow(*unit.session);
        window->show();
        return *window;
    }
    // Frames every 100 ms for `ms`, each at `volts` `amps`.
    void frames(const char* volts, const char* amps, int ms) {
        for (int t = 0; t < ms; t += 100) {
            unit.feedFrame(volts, amps);
            unit.clock.advanceMs(100);
        }
    }
    void choose(const QString& name) {
        window->fileName->setText(name);
        window->takeFileName();
    }
    Session& session() { return *unit.session; }

    QTemporaryDir dir;
    SessionOnFakeLine unit;
    QPointer<RunsWindow> window;
};

TEST(RunsWindow, AChosenFileShowsItsVerdictAndWorstCase) {
    const struct {
        const char* text;
        QString verdict, worstCase;
        QStringList problems;
    } cases[] = {
        {"set 5 V 0.2 A for 10 s\nrepeat 2\n rest 5 s\nend\n",
         "Check: ok",
         "Worst case: 00:00:20",
         {}},
        {"set 4.2 V 0.5 A until I < 0.05 A\n", "Check: ok", "Worst case: 1 day 00:00:00", {}},
        {"set 5 V 0.2 A\nset 5 V 0.2 A until I > 0.3 A timeout 1 s\n",
         "Check: 2 problems",
         "Worst case: 00:00:01",
         {"line 1:14: expected `for <duration>` or `until <condition>`: a set step needs an end",
          "line 2:21: I > 0.3 A can never hold: the step's current set-point is 0.2 A"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RunsRig rig;
        RunsWindow& window = rig.open();
        rig.choose(rig.write("steps.run", c.text));
        EXPECT_EQ(window.verdict->text(), c.verdict);
        EXPECT_EQ(window.worstCase->text(), c.worstCase);
        QStringList problems;
        for (int i = 0; i < window.problems->count(); ++i)
            problems << window.problems->item(i)->text();
        EXPECT_EQ(problems, c.problems);
        EXPECT_EQ(window.problems->isVisible(), !c.problems.isEmpty());
        EXPECT_EQ(rig.session().runFileName(), rig.dir.filePath("steps.run"));
    }
}

// The dialog never holds the window up; a file it chooses is checked at once.
TEST(RunsWindow, TheFileDialogChoosesWithoutWaiting) {
    RunsRig rig;
    RunsWindow& window = rig.open();
    const QString path = rig.write("rest.run", "rest 3 s\n");
    QFileDialog* dialog = window.chooseFile();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    emit dialog->fileSelected(path);
    dialog->close();
    EXPECT_EQ(window.fileName->text(), path);
    EXPECT_EQ(window.verdict->text(), "Check: ok");
    EXPECT_EQ(window.worstCase->text(), "Worst case: 00:00:03");
}

// A file that fails its check, or none at all, is refused in the window and
// nothing goes to the unit.
TEST(RunsWindow, StartRefusesABadFileWholeAndSaysWhy) {
    const struct {
        const char* name;
        const char* text; // none: no such file
        QString refusal;
    } cases[] = {
        {"bad.run", "set 5 V 0.2 A for 1 s\nset 50 V 0.2 A for 1 s\n",
         "Not started: line 2:5: 50 V 0.2 A: voltage 50.0 V is past the 1A/20V model's 20.0 V"},
        {"gone.run", nullptr, "Not started: %1/gone.run: no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunsRig rig;
        RunsWindow& window = rig.open();
        rig.choose(c.text ? rig.write(c.name, c.text) : rig.dir.filePath(c.name));
        window.start->click();
        EXPECT_TRUE(window.refusal->isVisible());
        EXPECT_EQ(window.refusal->text(),
                  c.refusal.contains("%1") ? c.refusal.arg(rig.dir.path()) : c.refusal);
        rig.unit.clock.advanceMs(500);
        EXPECT_EQ(rig.unit.written(), "");
        EXPECT_EQ(rig.session().runs().state(), RunState::Idle);
        EXPECT_FALSE(window.ticking());
    }
}

TEST(RunsWindow, StartRunsItAndShowsEachStepAsItGoes) {
    RunsRig rig;
    RunsWindow& window = rig.open();
    rig.choose(rig.write("charge.run", "set 5 V 0.2 A for 2 s\n"
                                       "set 4.2 V 0.5 A until I < 0.05 A timeout 1 min\n"
                                       "rest 1 s\n"));
    EXPECT_FALSE(window.ticking()) << "nothing ticks while idle";
    window.start->click();
    EXPECT_EQ(window.state->text(), "Running: " + rig.dir.filePath("charge.run"));
    EXPECT_EQ(window.step->text(), "Step 1, line 1: set 5 V 0.2 A for 2 s");
    EXPECT_EQ(window.progress->text(), "00:00:00 in the step, waiting for its command to go out");
    EXPECT_TRUE(window.ticking());
    EXPECT_FALSE(window.start->isEnabled());
    EXPECT_TRUE(window.stop->isEnabled());
    // Its elapsed time moves once a second without any news from the run;
    // what it waits for is seen once its command is out.
    rig.unit.clock.advanceMs(100);
    EXPECT_EQ(window.progress->text(),
              "00:00:00 in the step, waiting for the hold to end, 2.0 s left");
    rig.frames("050", "020", 900);
    EXPECT_EQ(rig.unit.written(), "050\r040\r");
    EXPECT_EQ(window.progress->text(),
              "00:00:01 in the step, waiting for the hold to end, 1.1 s left");
    rig.frames("050", "020", 1200);
    EXPECT_EQ(window.step->text(),
              "Step 2, line 2: set 4.2 V 0.5 A until I < 0.05 A timeout 1 min");
    rig.frames("042", "004", 200);
    rig.unit.clock.advanceMs(800);
    EXPECT_EQ(window.progress->text(),
              "00:00:01 in the step, waiting for I < 0.05 A (2 of 3 frames); timeout in 00:01:00");
    rig.frames("042", "004", 100);
    rig.frames("000", "000", 1500);
    const QStringList ended = window.endedStepTexts();
    ASSERT_EQ(ended.size(), 3) << ended.join('\n').toStdString();
    EXPECT_TRUE(ended[0].startsWith("1. set 5 V 0.2 A for 2 s: held 2 s, "))
        << ended[0].toStdString();
    EXPECT_TRUE(ended[1].startsWith("2. set 4.2 V 0.5 A until I < 0.05 A timeout 1 min: I < "
                                    "0.05 A held 3 frames at "))
        << ended[1].toStdString();
    EXPECT_EQ(ended[2], "3. rest 1 s: rested 1 s");
    EXPECT_EQ(window.outcome->text(), "Done: every step ended as the file says");
    EXPECT_EQ(window.report->text(), "Report: " + rig.session().runs().reportFolder());
    EXPECT_TRUE(window.report->text().startsWith("Report: " + rig.dir.filePath("charge-")));
    EXPECT_FALSE(window.ticking());
    EXPECT_FALSE(window.progress->isVisible());
    EXPECT_TRUE(window.start->isEnabled());
}

// Stop ends the run as failed with the unit at zero; closing the window
// during a run changes nothing about it.
TEST(RunsWindow, StopEndsTheRunAsFailedAndClosingLeavesItGoing) {
    RunsRig rig;
    RunsWindow& window = rig.open();
    rig.choose(rig.write("long.run", "set 5 V 0.5 A for 1 h\nrest 1 s\n"));
    window.start->click();
    rig.frames("050", "030", 300);
    window.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(rig.window.isNull()) << "deleted once closed";
    rig.frames("050", "030", 300);
    EXPECT_EQ(rig.session().runs().state(), RunState::Running);
    EXPECT_EQ(rig.unit.written(), "050\r100\r");
    RunsWindow& again = rig.open();
    EXPECT_EQ(again.step->text(), "Step 1, line 1: set 5 V 0.5 A for 1 h");
    again.stop->click();
    rig.unit.clock.advanceMs(200);
    EXPECT_EQ(rig.unit.written(), "050\r100\r000\r000\r");
    EXPECT_EQ(again.outcome->text(), "Failed: stopped in the Runs window");
    ASSERT_EQ(again.endedStepTexts().size(), 1);
    EXPECT_TRUE(again.endedStepTexts()[0].startsWith(
        "1. set 5 V 0.5 A for 1 h: stopped: stopped in the Runs window at 0.6 s"))
        << again.endedStepTexts()[0].toStdString();
    EXPECT_FALSE(again.ticking());
}

using test::BesideTheProgram;

// Whether the window was open when remote control started the run or opened
// afterwards, it shows the same.
TEST(RunsWindow, ShowsARunStartedByRemoteControl) {
    for (const bool openFirst : {true, false}) {
        SCOPED_TRACE(openFirst ? "open before" : "opened after");
        RunsRig rig;
        const BesideTheProgram steps("steps.run");
        test::WriteFile(steps.path, "set 5 V 0.2 A for 1 s\nset 3 V 0.1 A for 1 h\n");
        ScpiClient remote(rig.session());
        if (openFirst) rig.open();
        remote.takeLine({"RUN:FILE \"" + steps.name.toUtf8() + "\";STAT RUN", false});
        rig.frames("050", "020", 1500);
        if (!openFirst) rig.open();
        RunsWindow& window = *rig.window;
        EXPECT_EQ(window.fileName->text(), steps.name);
        EXPECT_EQ(window.verdict->text(), "Check: ok");
        EXPECT_EQ(window.state->text(), "Running: " + steps.name);
        EXPECT_EQ(window.step->text(), "Step 2, line 2: set 3 V 0.1 A for 1 h");
        EXPECT_EQ(window.endedStepTexts().size(), 1);
        EXPECT_TRUE(window.ticking());
        remote.takeLine({"RUN:STAT STOP", false});
        EXPECT_EQ(window.outcome->text(), "Failed: stopped by remote control");
    }
}

TEST(RunsWindow, ThePanelsMenuOpensItAfterTheOtherEntries) {
    QTemporaryDir dir;
    test::PanelOnFakeLine panel(dir.filePath("Tarnholm.conf"), {});
    panel.form.show();
    QMenu* menu = test::OpenPanelMenu(panel.form);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(test::EntryTexts(*menu), QStringList({"Settings…", "Plot…", "Set values…",
                                                    "Zero output", "Protection…", "Runs…"}));
    menu->actions().last()->trigger();
    menu->close();
    RunsWindow* window = panel.form.runsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Runs");
    EXPECT_EQ(panel.form.OpenRunsWindow(), window) << "one at a time";
}

// The labels of the lines the view shows, in order.
QStringList ShownMarks(PlotView& view) {
    QStringList shown;
    for (int i = 0; i < view.itemCount(); ++i)
        if (auto* label = qobject_cast<QCPItemText*>(view.item(i)); label && label->visible())
            shown << label->text();
    return shown;
}

int ShownLines(PlotView& view) {
    int lines = 0;
    for (int i = 0; i < view.itemCount(); ++i)
        if (auto* line = qobject_cast<QCPItemStraightLine*>(view.item(i)); line && line->visible())
            ++lines;
    return lines;
}

TEST(RunsWindow, TheLivePlotDrawsABoundaryPerStep) {
    RunsRig rig;
    PlotWindow plot(rig.session());
    plot.resize(900, 420);
    plot.show();
    plot.setSpan(PlotWindow::LastMinute);
    const QString file =
        rig.write("three.run", "set 5 V 0.2 A for 4 s\nrest 4 s\nsweep V 1 V to 2 V step 1 V "
                               "current 0.1 A dwell 2 s\n");
    ASSERT_TRUE(rig.session().startRun(file).started);
    rig.frames("050", "020", 14000);
    ASSERT_EQ(rig.session().runs().state(), RunState::Done);
    const std::vector<StepOutcome> steps = rig.session().runs().endedSteps();
    ASSERT_EQ(steps.size(), 3u);
    std::vector<StepMark> expected;
    for (const StepOutcome& step : steps)
        expected.push_back({step.start.ms, StepMarkLabel(step.number, step.text)});
    EXPECT_EQ(plot.view()->stepMarks(), expected);
    plot.follow();
    EXPECT_EQ(ShownMarks(*plot.view()), QStringList({"1 set", "2 rest", "3 sweep"}));
    EXPECT_EQ(ShownLines(*plot.view()), 3);
    // A window opened after the run shows it; the next run's start clears it.
    PlotWindow later(rig.session());
    EXPECT_EQ(later.view()->stepMarks(), expected);
    ASSERT_TRUE(rig.session().startRun(rig.write("one.run", "rest 1 s\n")).started);
    ASSERT_EQ(later.view()->stepMarks().size(), 1u);
    EXPECT_EQ(later.view()->stepMarks()[0].label, "1 rest");
}

// However many marks, a view draws at most one per few pixels, and labels
// those with room.
TEST(RunsWindow, BoundariesThinOutToWhatTheViewHasRoomFor) {
    const std::vector<StepMark> marks = {{1000, "1"}, {1002, "2"}, {1100, "3"},
                                         {1700, "4"}, {1800, "5"}, {5000, "6"}};
    const struct {
        qint64 from, to;
        double pixels;
        std::vector<PlacedMark> placed;
    } cases[] = {
        // 1 ms a pixel: 1 and 2 are closer than 4 px, one line.
        {0, 2000, 2000, {{0, true}, {2, true}, {3, true}, {4, true}}},
        // 10 ms a pixel: one line in 40 ms, a label in 480 ms.
        {0, 4000, 400, {{0, true}, {2, false}, {3, true}, {4, false}}},
        {1050, 6000, 4950, {{2, true}, {3, true}, {4, true}, {5, true}}},
        {6000, 7000, 1000, {}},
        {0, 2000, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << ".." << c.to << " over " << c.pixels);
        EXPECT_EQ(PlaceMarks(marks, c.from, c.to, c.pixels), c.placed);
    }
    // A million steps in view: a few hundred looked at, not a million.
    std::vector<StepMark> many(1'000'000);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i].ms = qint64(i) * 100;
    EXPECT_LE(PlaceMarks(many, 0, 100'000'000, 1000).size(), 251u);
}

TEST(RunsWindow, TextsOfTheStepAndItsTime) {
    const struct {
        QString got, expected;
    } cases[] = {
        {ElapsedText(0), "00:00:00"},
        {ElapsedText(65'900'000'000), "00:01:05"},
        {ElapsedText(26 * 3600 * kNsPerSecond), "26:00:00"},
        {ElapsedText(-5), "00:00:00"},
        {StepMarkLabel(3, "SWEEP V 0 V to 5 V step 0.5 V current 0.3 A dwell 2 s"), "3 sweep"},
        {StepMarkLabel(12, ""), "12"},
        {RunStepText({RunState::Running, 2, 3, "rest 10 s", 0, {}}), "Step 2, line 3: rest 10 s"},
        {RunStepText({}), ""},
        {RunProgressText({RunState::Done, 2, 3, "rest 10 s", 0, "x"}), ""},
        {RunOutcomeText({RunState::Failed, "a protection trip", {}, {}, 1, {}}),
         "Failed: a protection trip"},
        {RunOutcomeText({}), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.expected);
}

} // namespace
} // namespace velmora
