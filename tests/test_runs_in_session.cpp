// A run in the session: its steps' set-points go through the door and onto
// the line, the next step's command is asked for inside the frame that
// completes a condition, a run and a playback never go at once, a trip or
// Zero output ends a run as failed with the unit at zero, and remote
// control starts, follows and stops it.

#include "remote/scpi_client.h"
#include "support/control_line.h"
#include "support/files.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;

struct RunRig {
    explicit RunRig(const QStringList& stored = {}) : unit(stored + Stored(dir)) {
        QObject::connect(unit.session.get(), &Session::runEvent,
                         [this](const RunEvent& e) { events << e.text(); });
        QObject::connect(&remote, &ScpiClient::answer,
                         [this](const QByteArray& a) { answers += a; });
    }
    static QStringList Stored(const QTemporaryDir& dir) {
        // The record file, and so the reports, in the test's folder.
        return {"Netzteil/Log=" + dir.filePath("rec.log")};
    }
    QString write(const char* name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        test::WriteFile(path, text);
        return path;
    }
    QByteArray say(const QByteArray& line) {
        answers.clear();
        remote.takeLine({line, false});
        unit.clock.advanceMs(100);
        return answers;
    }
    // Frames every 100 ms for `ms`, each at `volts` `amps`.
    void frames(const char* volts, const char* amps, int ms) {
        for (int t = 0; t < ms; t += 100) {
            unit.feedFrame(volts, amps);
            unit.clock.advanceMs(100);
        }
    }

    QTemporaryDir dir;
    SessionOnFakeLine unit;
    ScpiClient remote{*unit.session};
    QByteArray answers;
    QStringList events;
};

TEST(RunsInSession, StepsGoThroughTheDoorAndEndOnWhatTheUnitMeasures) {
    RunRig rig;
    Session& session = *rig.unit.session;
    const QString file = rig.write("charge.run", "set 4.2 V 0.5 A until I < 0.05 A timeout 1 min\n"
                                                 "rest 1 s\n");
    const RunStart start = session.startRun(file);
    ASSERT_TRUE(start.started) << start.refusal.toStdString();
    rig.frames("042", "050", 1000);
    EXPECT_EQ(rig.unit.written(), "042\r100\r");
    EXPECT_EQ(session.runs().state(), RunState::Running);
    // Three frames under 0.05 A: the rest's zero is asked for inside the third.
    rig.unit.feedFrame("042", "004");
    rig.unit.feedFrame("042", "004");
    rig.unit.line->clearWrites();
    rig.unit.line->feed(SessionOnFakeLine::Frame("042", "004"));
    EXPECT_TRUE(session.unit().setpoints() == Setpoints{}) << "asked for in that frame";
    rig.unit.clock.advanceMs(100);
    EXPECT_EQ(rig.unit.written().left(1), "0");
    rig.frames("000", "000", 1500);
    EXPECT_EQ(session.runs().state(), RunState::Done);
    ASSERT_EQ(session.runs().endedSteps().size(), 2u);
    EXPECT_TRUE(session.runs().endedSteps()[0].reason.startsWith("I < 0.05 A held 3 frames"))
        << session.runs().endedSteps()[0].reason.toStdString();
    const QString report = session.runs().reportFolder();
    EXPECT_TRUE(QFileInfo(report).fileName().startsWith("charge-")) << report.toStdString();
    EXPECT_EQ(QFileInfo(report).absolutePath(), rig.dir.path());
    for (const char* name : {"measurements.csv", "summary.json"})
        EXPECT_TRUE(QFile::exists(report + '/' + name)) << name;
    EXPECT_TRUE(rig.events.last().startsWith("run done")) << rig.events.join('\n').toStdString();
}

// Every step is checked at the door's rules before anything is sent: a run
// the model cannot give, or past the user's limit, is refused whole.
TEST(RunsInSession, TheCheckRefusesARunWholeAndNothingIsSent) {
    RunRig rig({"Limits/MaxU_1000=10000"});
    Session& session = *rig.unit.session;
    const QString file = rig.write("high.run", "set 5 V 0.5 A for 1 s\nset 12 V 0.5 A for 1 s\n");
    const RunStart start = session.startRun(file);
    EXPECT_FALSE(start.started);
    EXPECT_EQ(start.refusal, "line 2:5: 12 V 0.5 A: voltage 12.0 V is above your own limit of "
                             "10.0 V");
    rig.unit.clock.advanceMs(500);
    EXPECT_EQ(rig.unit.written(), "");
}

// A run and a playback never go at once; a trip, Zero output or a remote
// stop ends a run as failed, with the unit at zero and one zero only.
TEST(RunsInSession, ARunEndsAsFailedOnWhatZeroesTheOutput) {
    const QString played = QStringLiteral("#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n");
    const struct {
        const char* name;
        std::function<void(RunRig&)> end;
        const char* reason;
    } cases[] = {
        {"Zero output",
         [](RunRig& r) { r.unit.session->unit().request(SetpointSource::ZeroOutput, {}); },
         "run failed: Zero output"},
        {"a trip",
         [](RunRig& r) {
             r.unit.session->setProtection({{}, {true, 400}, {}, 3});
             r.frames("050", "045", 300);
         },
         "run failed: a protection trip"},
        {"remote control", [](RunRig& r) { r.say("RUN:STAT STOP"); },
         "run failed: stopped by remote control"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunRig rig;
        Session& session = *rig.unit.session;
        ASSERT_TRUE(session.startRun(rig.write("long.run", "set 5 V 0.5 A for 1 h\n")).started);
        EXPECT_EQ(session.startPlayback(rig.write("p.dat", played.toLatin1())).refusal,
                  "A run is going: a control file plays once it has ended.");
        rig.frames("050", "030", 300);
        rig.unit.line->clearWrites();
        c.end(rig);
        rig.unit.clock.advanceMs(500);
        EXPECT_EQ(session.runs().state(), RunState::Failed);
        EXPECT_EQ(rig.unit.written().right(8), "000\r000\r");
        EXPECT_EQ(rig.unit.written().count("000\r000\r"), 1);
        EXPECT_TRUE(rig.events.last().startsWith(c.reason)) << rig.events.last().toStdString();
    }
}

using test::BesideTheProgram;

TEST(RunsInSession, RemoteControlStartsFollowsAndAnswersForARun) {
    RunRig rig;
    const BesideTheProgram steps("steps.run"), bad("bad.run");
    test::WriteFile(steps.path, "set 5 V 0.2 A for 1 s\nrest 1 s\n");
    test::WriteFile(bad.path, "set 5 V 0.2 A\n");
    EXPECT_EQ(rig.say("RUN:STAT?;RUN:STEP?"), "IDLE;0,\"\"\n");
    EXPECT_EQ(rig.say("RUN:FILE \"" + bad.name.toUtf8() + "\";STAT RUN;:SYST:ERR?"),
              "-285,\"Program syntax error;line 1:14: expected `for <duration>` or `until "
              "<condition>`: a set step needs an end\"\n");
    EXPECT_EQ(rig.say("RUN:FILE \"" + steps.name.toUtf8() + "\";STAT RUN;STAT?;STEP?;:SYST:ERR?"),
              "RUNNING;1,\"set 5 V 0.2 A for 1 s\";0,\"No error\"\n");
    EXPECT_EQ(rig.say("PROG:STAT RUN;:SYST:ERR?"), "-284,\"Program currently running;a run is "
                                                   "going\"\n");
    rig.frames("050", "020", 2500);
    const QByteArray result = rig.say("RUN:STAT?;RES?");
    EXPECT_TRUE(result.startsWith("DONE;DONE,\"" + steps.name.toUtf8().chopped(4) + '-'))
        << result.toStdString();
    EXPECT_EQ(rig.unit.written(), "050\r040\r000\r000\r");
}

} // namespace
} // namespace velmora
