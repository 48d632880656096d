// Protection trips and the off-timer in the session and through remote
// control: what trips and what does not, what is refused while tripped, and
// that the unit only ever gets whole commands, the last of them zero; the
// Protection window, the panel's trip box and its tooltip.

#include "panel/form1.h"
#include "panel/protection_window.h"
#include "support/files.h"
#include "support/print_qt.h"
#include "support/pty_pair.h"
#include "support/scpi_conversation.h"
#include "support/wait_until.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <functional>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::ScpiConversation;
using test::SessionOnFakeLine;

constexpr qint64 kFrameNs = 12'500'000; // a frame's time on the line at 9600 baud
constexpr char kZero[] = "000\r000\r";
constexpr char kTripText[] = "Output zeroed: current 0.81 A above 0.80 A for 3 frames at 08:00:00";

// A session that trips on a current above 0.80 A for 3 frames, talked to
// remotely; what it said on protectionTripped is kept.
struct Tripping : ScpiConversation {
    Tripping() : ScpiConversation({"Protection/OCP_mA=800", "Protection/Frames=3"}) {
        QObject::connect(s.session.get(), &Session::protectionTripped,
                         [this](const QString& text) { tripped.append(text); });
    }
    // One frame of 5.0 V and the current digits, 10 ms after the one before.
    void frame(const char* centiamps) {
        s.clock.advanceMs(10);
        s.feedFrame("050", centiamps);
    }
    void trip() {
        for (int i = 0; i < 3; ++i)
            frame("081");
    }
    Session& session() { return *s.session; }
    QStringList tripped;
};

// The written bytes cut into commands; a piece that is no whole set-point
// command stays as it is, so a comparison shows it.
QStringList Commands(const QByteArray& written) {
    static const QRegularExpression whole(QStringLiteral("^\\d\\d\\d\\r\\d\\d\\d\\r$"));
    QStringList commands;
    for (qsizetype at = 0; at < written.size(); at += 8) {
        const QString command = QString::fromLatin1(written.mid(at, 8));
        commands.append(whole.match(command).hasMatch() ? command : "cut: " + command);
    }
    return commands;
}

TEST(ProtectionTrips, OnlyFramesInARowAboveTheThresholdTrip) {
    struct Case {
        const char* name;
        QList<const char*> currents; // "?": a frame whose values cannot be read
        int tripsAt;                 // the frame that completes the trip; -1: none
    };
    const Case cases[] = {
        {"noise", {"081", "050", "081", "081", "050", "081", "081", "080"}, -1},
        {"three in a row", {"050", "081", "082", "081"}, 3},
        {"at the threshold", {"080", "080", "080", "080"}, -1},
        {"unreadable frames count neither way", {"081", "?", "081", "?", "?", "081"}, 5},
        {"unreadable frames complete nothing", {"081", "081", "?", "?", "?", "?"}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tripping t;
        for (int i = 0; i < c.currents.size(); ++i) {
            if (QByteArray(c.currents[i]) == "?") {
                t.s.clock.advanceMs(10);
                t.s.line->feed("D 0?0  0?1  ");
                t.s.clock.settle();
            } else {
                t.frame(c.currents[i]);
            }
            ASSERT_EQ(t.session().tripped(), c.tripsAt >= 0 && i >= c.tripsAt) << "frame " << i;
        }
        t.s.clock.advanceMs(200);
        const bool tripped = c.tripsAt >= 0;
        EXPECT_EQ(t.s.written(), tripped ? QByteArray(kZero) : QByteArray());
        EXPECT_EQ(t.tripped, tripped ? QStringList{kTripText} : QStringList());
        EXPECT_EQ(t.session().tripText(), tripped ? QString(kTripText) : QString());
        EXPECT_TRUE(t.s.said.isEmpty()) << "a trip is told once, on its own signal";
    }
}

// "V 15000 I off P off N 3" for the rules in force.
std::string Describe(const ProtectionSettings& s) {
    const auto rule = [](const TripRule& r) {
        return r.on ? std::to_string(r.threshold) : std::string("off");
    };
    return "V " + rule(s.voltage) + " I " + rule(s.current) + " P " + rule(s.power) + " N " +
           std::to_string(s.frames);
}

TEST(ProtectionTrips, StoredRulesThatCannotHoldAreOff) {
    const QString large = "Netzteil/NLI=2500", largeV = "Netzteil/NLU=25000";
    struct Case {
        QStringList stored;
        const char* rules;
    };
    const Case cases[] = {
        {{}, "V off I off P off N 3"},
        {{"Protection/OCP_mA=-5"}, "V off I off P off N 3"},
        {{"Protection/OCP_mA=0"}, "V off I off P off N 3"},
        {{"Protection/OCP_mA=half"}, "V off I off P off N 3"},
        {{"Protection/OCP_mA=1001"}, "V off I off P off N 3"}, // beyond 1A/20V
        {{"Protection/OVP_mV=20001", "Protection/OPP_mW=20001"}, "V off I off P off N 3"},
        {{large, largeV, "Protection/OCP_mA=1001"}, "V off I 1001 P off N 3"},
        {{"Protection/OVP_mV=15000", "Protection/Frames=none"}, "V 15000 I off P off N 3"},
        {{"Protection/OPP_mW=20000", "Protection/Frames=0"}, "V off I off P 20000 N 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.join(", ").toStdString());
        SessionOnFakeLine s(c.stored);
        EXPECT_EQ(Describe(s.session->protection()), c.rules);
        // 20.0 V and 1.50 A: above every threshold that is on.
        for (int i = 0; i < 3; ++i)
            s.feedFrame("200", "150");
        EXPECT_EQ(s.session->tripped(), std::string(c.rules) != "V off I off P off N 3");
    }
    // Another model's range holds once it is chosen.
    SessionOnFakeLine s({large, largeV, "Protection/OCP_mA=2000", "Protection/OVP_mV=5000"});
    s.session->unit().chooseModel(Model::Small1A20V);
    EXPECT_EQ(Describe(s.session->protection()), "V 5000 I off P off N 3");
    s.session->unit().chooseModel(Model::Large2A5_25V);
    EXPECT_EQ(Describe(s.session->protection()), "V 5000 I 2000 P off N 3");
}

// While tripped every way of setting the output is refused with the trip's
// text; once cleared each goes out again.
TEST(ProtectionTrips, NothingSetsTheOutputUntilTheTripIsCleared) {
    QTemporaryDir dir;
    const QString played = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(played, "#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n"));
    struct Case {
        const char* name;
        std::function<QByteArray(Tripping&)> act; // what it answered, for remote lines
        QByteArray refusedAnswer;
        QByteArray sentAfterClearing;
        bool toldAtThePanel = false; // the refusal in a box: the user's own hands
    };
    const Case cases[] = {
        {"a button",
         [](Tripping& t) {
             t.session().unit().pressAdjust(3);
             t.session().unit().releaseAdjust();
             t.s.clock.advanceMs(1000);
             return QByteArray();
         },
         "", "001\r000\r", true},
        {"set values",
         [](Tripping& t) {
             t.session().unit().request(SetpointSource::SetValues,
                                        {Millivolts(5000), Milliamps(500)});
             t.s.clock.advanceMs(200);
             return QByteArray();
         },
         "", "050\r100\r", true},
        {"remote set-points",
         [](Tripping& t) {
             t.say("APPL 5,0.5");
             return t.say("SYST:ERR?");
         },
         "-221,\"Settings conflict;" + QByteArray(kTripText) + "\"\n", "050\r100\r"},
        {"remote output on",
         [](Tripping& t) {
             t.say("OUTP ON");
             return t.say("OUTP?");
         },
         "0\n", "050\r100\r"},
        {"a playback",
         [&](Tripping& t) {
             t.session().startPlayback(played);
             t.s.clock.advanceMs(200);
             return QByteArray();
         },
         "", "010\r020\r"},
        // (No such file: refused for the trip first, for the file after clearing.)
        {"a remote playback",
         [](Tripping& t) { return t.say("PROG:FILE \"none.dat\";STAT RUN;:SYST:ERR?"); },
         "-221,\"Settings conflict;" + QByteArray(kTripText) + "\"\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tripping t;
        t.say("APPL 5,0.5");
        t.trip();
        t.s.clock.advanceMs(200);
        t.s.line->clearWrites();
        EXPECT_EQ(t.say("OUTP:PROT:TRIP?"), "1\n");
        EXPECT_EQ(c.act(t).toStdString(), c.refusedAnswer.toStdString());
        EXPECT_EQ(t.s.written(), QByteArray());
        const QList<test::Said> told = {{"Protection", kTripText}};
        EXPECT_EQ(t.s.said, c.toldAtThePanel ? told : QList<test::Said>());
        EXPECT_EQ(t.session().playerState(), Player::State::Idle);
        EXPECT_EQ(t.say("OUTP:PROT:CLE;TRIP?"), "0\n");
        t.s.said.clear();
        c.act(t);
        EXPECT_EQ(t.s.written(), c.sentAfterClearing);
        EXPECT_TRUE(t.s.said.isEmpty());
    }
}

// Whatever is going on when the trip comes, the unit gets whole commands
// only, and the last one is zero.
TEST(ProtectionTrips, TheUnitGetsWholeCommandsEndingInZero) {
    QTemporaryDir dir;
    const QString played = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(played, "#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n"
                                        "#2020-01-02 03:04:06#,\"02.0V\",\"0.20A\"\r\n"
                                        "#2020-01-02 03:04:07#,\"03.0V\",\"0.30A\"\r\n"));
    test::PtyPair device; // for the port to be found again after the line went away
    struct Case {
        const char* name;
        std::function<void(Tripping&)> before, after;
        QStringList sent;
    };
    const auto nothing = [](Tripping&) {};
    const Case cases[] = {
        {"a held button",
         [](Tripping& t) {
             t.session().unit().pressAdjust(1);
             t.s.clock.advanceMs(700);
         },
         [](Tripping& t) { t.session().unit().releaseAdjust(); },
         {kZero}},
        {"a button released just before",
         [](Tripping& t) {
             t.session().unit().pressAdjust(1);
             t.session().unit().releaseAdjust();
             t.s.clock.advanceMs(300);
         },
         nothing,
         {kZero}},
        {"a playback, its second command on the line",
         [&](Tripping& t) {
             t.session().startPlayback(played);
             t.s.clock.advanceMs(115);
         },
         nothing,
         {"010\r020\r", "020\r040\r", kZero}},
        {"a command on the line, another waiting",
         [](Tripping& t) {
             t.session().unit().request(SetpointSource::SetValues,
                                        {Millivolts(5000), Milliamps(500)});
             t.session().unit().request(SetpointSource::SetValues,
                                        {Millivolts(6000), Milliamps(600)});
             t.s.clock.advanceMs(5);
         },
         nothing,
         {"050\r100\r", kZero}},
        {"the line away before the zero's first character",
         [&](Tripping& t) {
             t.session().unit().mapPort(2, device.slavePath());
             t.session().unit().choosePort(2);
             t.session().unit().request(SetpointSource::SetValues,
                                        {Millivolts(5000), Milliamps(500)});
             t.s.clock.advanceMs(200);
             t.frame("081");
             t.frame("081");
             t.s.clock.advanceMs(10);
             t.s.line->feed(SessionOnFakeLine::Frame("050", "081")); // not yet handed on
             t.s.line->close();
             emit t.s.line->gone();
         },
         [](Tripping& t) {
             EXPECT_FALSE(t.session().unit().linkOpen());
             t.s.clock.advanceMs(5000); // the device is looked for twice a second
             EXPECT_TRUE(t.session().unit().linkOpen());
         },
         {"050\r100\r", kZero}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tripping t;
        c.before(t);
        if (!t.session().tripped()) t.trip();
        ASSERT_TRUE(t.session().tripped());
        t.s.clock.advanceMs(100);
        c.after(t);
        t.s.clock.advanceMs(2000);
        EXPECT_EQ(Commands(t.s.written()), c.sent);
        EXPECT_EQ(t.session().unit().setpoints(), Setpoints{});
    }
}

// The zero goes out at once after the frame that completes the trip, or
// right after the last pause of the command on the line.
TEST(ProtectionTrips, TheZeroStartsAtOnceOrRightAfterTheCommandOnTheLine) {
    // The frames take 20 ms: a command begun up to 59 ms before is still on the line.
    for (const qint64 onLineMs : {qint64(-1), qint64(0), qint64(35), qint64(59)}) {
        SCOPED_TRACE(onLineMs);
        Tripping t;
        if (onLineMs >= 0) {
            t.session().unit().request(SetpointSource::SetValues,
                                       {Millivolts(5000), Milliamps(500)});
            t.s.clock.advanceMs(onLineMs);
        }
        t.frame("081");
        t.frame("081");
        t.s.line->feed(SessionOnFakeLine::Frame("050", "081"));
        const qint64 tripAt = t.s.clock.monotonicNs();
        t.s.clock.advanceMs(300);
        const auto& writes = t.s.line->writes();
        const int zeroAt = onLineMs >= 0 ? 8 : 0;
        ASSERT_EQ(writes.size(), zeroAt + 8);
        EXPECT_EQ(Commands(t.s.written()).last(), kZero);
        if (onLineMs < 0) {
            EXPECT_GE(writes[0].atNs, tripAt);
            EXPECT_LE(writes[0].atNs - tripAt, kFrameNs);
        } else {
            EXPECT_EQ(writes[zeroAt].atNs, writes[zeroAt - 1].atNs + 10'000'000);
        }
    }
}

// Once the program is ending nothing more goes out, so nothing claims to
// have zeroed the output.
TEST(ProtectionTrips, NeitherATripNorTheOffTimerSpeaksWhileEnding) {
    Tripping t;
    t.session().startOffTimer(1);
    t.session().unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(500)});
    t.s.clock.advanceMs(25);
    t.session().shutdown();
    t.trip(); // the port stays open until the command on the line is out
    t.s.clock.advanceMs(2000);
    EXPECT_EQ(t.s.written(), "050\r100\r");
    EXPECT_FALSE(t.session().tripped());
    EXPECT_TRUE(t.tripped.isEmpty());
    EXPECT_TRUE(t.s.said.isEmpty());
}

TEST(OffTimer, ZeroesTheOutputWhenItRunsOutAndSaysSo) {
    ScpiConversation talk;
    Session& session = *talk.s.session;
    EXPECT_EQ(talk.say("APPL 5,0.5;:OUTP:TIM 5;:OUTP:TIM?"), "5\n");
    EXPECT_EQ(session.offTimerRemaining(), 5); // 4.8 s, rounded up
    talk.s.clock.advanceMs(2000);
    EXPECT_EQ(talk.say("OUTP:TIM?"), "3\n");
    talk.s.clock.advanceMs(2599);
    EXPECT_EQ(session.offTimerRemaining(), 1);
    EXPECT_EQ(talk.s.written(), "050\r100\r");
    talk.s.clock.advanceMs(200);
    EXPECT_EQ(talk.s.written(), "050\r100\r000\r000\r");
    EXPECT_EQ(
        talk.s.said,
        (QList<test::Said>{{"Protection", "Output zeroed: the off-timer ran out at 08:00:05"}}));
    EXPECT_EQ(talk.say("OUTP:TIM?;:OUTP?"), "0;0\n");
    EXPECT_FALSE(session.tripped()) << "set-points may go out again at once";

    // 0 stops it; a fraction of a second counts as a whole one.
    talk.s.line->clearWrites();
    EXPECT_EQ(talk.say("APPL 5,0.5;:OUTP:TIM 1.2;:OUTP:TIM?"), "2\n");
    EXPECT_EQ(talk.say("OUTP:TIM 0;:OUTP:TIM?"), "0\n");
    talk.s.clock.advanceMs(5000);
    EXPECT_EQ(talk.s.written(), "050\r100\r");
    EXPECT_EQ(talk.s.said.size(), 1);
}

// Frames 1 s apart: 5.0 V 0.50 A, twice, then 10.0 V 1.00 A, twice; the
// set-points 12 V 1 A, so the unit holds the current.
TEST(RemoteMeters, AnswerAsExactTexts) {
    ScpiConversation talk;
    EXPECT_EQ(talk.say("FETC:AHO?"), "9.91E+37\n");
    EXPECT_EQ(talk.say("SYST:ERR?"), "-230,\"Data stale;nothing measured yet\"\n");
    talk.say("APPL 12,1");
    for (const auto& [volts, amps] : {std::pair{"050", "050"}, {"050", "050"}, {"100", "100"}}) {
        talk.s.feedFrame(volts, amps);
        talk.s.clock.advanceMs(1000);
    }
    talk.s.feedFrame("100", "100");
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"FETC:AHO?", "0.000625\n"}, // 2.25 As
        {"FETC:WHO?", "0.005208\n"}, // 18.75 Ws
        {"FETC:TIME?", "3.0\n"},
        {"FETC:AHO?;WHO?;TIME?", "0.000625;0.005208;3.0\n"},
        {"FETC:VOLT:MIN?;MAX?;MEAN?", "5.0;10.0;7.500\n"},
        {"FETC:CURR:MIN?;MAX?;MEAN?", "0.50;1.00;0.7500\n"},
        {"FETC:POW:MIN?;MAX?;MEAN?", "2.500;10.000;6.2500\n"},
        {"OUTP:MODE?", "CC\n"},
        {"SENS:AHO:RES;:FETC:TIME?;:SYST:ERR?",
         "9.91E+37;-230,\"Data stale;nothing measured yet\"\n"},
    };
    for (const auto& [line, answer] : cases)
        EXPECT_EQ(talk.say(line, 0), answer) << line.toStdString();
    talk.s.feedFrame("120", "050");
    EXPECT_EQ(talk.say("FETC:TIME?;:FETC:VOLT:MEAN?;:OUTP:MODE?", 0), "0.0;12.000;CV\n");
}

// The stored group "Protection", "key=value" a line, in key order.
QStringList StoredRules(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    store.beginGroup("Protection");
    QStringList rules;
    for (const QString& key : store.childKeys())
        rules << key + "=" + store.value(key).toString();
    return rules;
}

TEST(ProtectionWindow, ItsBoxesStoreTheRulesAndShowTheStoredOnes) {
    SessionOnFakeLine s({"Protection/OVP_mV=12000", "Protection/Frames=5"});
    ProtectionWindow window(*s.session);
    EXPECT_TRUE(window.voltageOn->isChecked());
    EXPECT_DOUBLE_EQ(window.voltage->value(), 12.0);
    EXPECT_FALSE(window.currentOn->isChecked());
    EXPECT_FALSE(window.powerOn->isChecked());
    EXPECT_EQ(window.frames->value(), 5);
    // The 1A/20V model's range.
    EXPECT_DOUBLE_EQ(window.voltage->maximum(), 20.0);
    EXPECT_DOUBLE_EQ(window.current->maximum(), 1.0);
    EXPECT_DOUBLE_EQ(window.power->maximum(), 20.0);

    struct Case {
        const char* change;
        std::function<void()> make;
        QStringList stored;
    };
    const Case cases[] = {
        {"current ticked at 0.5 A",
         [&] {
             window.current->setValue(0.5);
             window.currentOn->setChecked(true);
         },
         {"Frames=5", "OCP_mA=500", "OVP_mV=12000"}},
        {"voltage unticked",
         [&] { window.voltageOn->setChecked(false); },
         {"Frames=5", "OCP_mA=500"}},
        {"power at 6.125 W",
         [&] {
             window.powerOn->setChecked(true);
             window.power->setValue(6.125);
         },
         {"Frames=5", "OCP_mA=500", "OPP_mW=6125"}},
        {"ten frames",
         [&] { window.frames->setValue(10); },
         {"Frames=10", "OCP_mA=500", "OPP_mW=6125"}},
        {"beyond the range",
         [&] { window.current->setValue(7.5); },
         {"Frames=10", "OCP_mA=1000", "OPP_mW=6125"}},
    };
    for (const Case& c : cases) {
        c.make();
        EXPECT_EQ(StoredRules(s.storePath()), c.stored) << c.change;
    }
    EXPECT_DOUBLE_EQ(window.voltage->value(), 12.0) << "an unticked box keeps its value";
    EXPECT_FALSE(window.storeNote->isVisible());

    // A rule set elsewhere shows at once.
    ProtectionSettings rules = s.session->protection();
    rules.voltage = {true, 15000};
    s.session->setProtection(rules);
    EXPECT_TRUE(window.voltageOn->isChecked());
    EXPECT_DOUBLE_EQ(window.voltage->value(), 15.0);

    // The next start reads what the window stored.
    SessionOnFakeLine next;
    Session again(next.clock, std::make_unique<test::FakeLine>(&next.clock),
                  SettingsStore(s.storePath()));
    again.start();
    EXPECT_EQ(again.protection().current, (TripRule{true, 1000}));
    EXPECT_EQ(again.protection().power, (TripRule{true, 6125}));
    EXPECT_EQ(again.protection().frames, 10);
}

TEST(ProtectionWindow, SaysOnceWhenTheRulesCannotBeSaved) {
    SessionOnFakeLine s;
    ASSERT_TRUE(QDir().mkpath(s.storePath())); // a folder where the file would be
    ProtectionWindow window(*s.session);
    window.currentOn->setChecked(true);
    const QString note = window.storeNote->text();
    EXPECT_TRUE(note.startsWith("The rules could not be saved")) << note.toStdString();
    EXPECT_TRUE(note.contains(s.storePath()));
    EXPECT_FALSE(window.storeNote->isHidden());
    window.frames->setValue(7);
    EXPECT_EQ(window.storeNote->text(), note);
    EXPECT_EQ(s.session->protection().current, (TripRule{true, 1000}));
    EXPECT_EQ(s.session->protection().frames, 7) << "the rules hold for this run";
}

TEST(ProtectionWindow, ShowsTheTripClearsItAndCountsTheOffTimerDown) {
    Tripping t;
    ProtectionWindow window(t.session());
    EXPECT_EQ(window.tripState->text(), "No trip");
    EXPECT_FALSE(window.clear->isEnabled());
    t.trip();
    EXPECT_EQ(window.tripState->text(), kTripText);
    ASSERT_TRUE(window.clear->isEnabled());
    window.clear->click();
    EXPECT_FALSE(t.session().tripped());
    EXPECT_EQ(window.tripState->text(), "No trip");
    EXPECT_FALSE(window.clear->isEnabled());

    EXPECT_EQ(window.countdown->text(), "The off-timer is not running.");
    EXPECT_FALSE(window.stopTimer->isEnabled());
    window.offAfter->setTime(QTime(0, 5, 0));
    window.startTimer->click();
    EXPECT_EQ(t.session().offTimerRemaining(), 300);
    EXPECT_EQ(window.countdown->text(), "Zero output in 00:05:00");
    t.s.clock.advanceMs(61'000);
    window.refresh(); // as its tick does
    EXPECT_EQ(window.countdown->text(), "Zero output in 00:03:59");
    window.stopTimer->click();
    EXPECT_EQ(t.session().offTimerRemaining(), 0);
    EXPECT_EQ(window.countdown->text(), "The off-timer is not running.");
    t.s.clock.advanceMs(400'000);
    EXPECT_EQ(t.s.written(), kZero) << "only the trip's";
}

QMessageBox* BoxTitled(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->windowTitle() == title) return box;
    }
    return nullptr;
}

TEST(PanelProtection, ATripShowsABoxWhoseClearButtonClearsIt) {
    Tripping t;
    Form1 form(t.session());
    for (const char* button : {"Clear", "OK"}) {
        SCOPED_TRACE(button);
        t.trip();
        QMessageBox* box = BoxTitled("Protection");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), kTripText);
        EXPECT_EQ(box->windowModality(), Qt::NonModal);
        QStringList buttons;
        for (QAbstractButton* b : box->buttons())
            buttons << b->text().remove(u'&');
        buttons.sort();
        EXPECT_EQ(buttons, QStringList({"Clear", "OK"}));
        for (QAbstractButton* b : box->buttons())
            if (b->text().remove(u'&') == button) b->click();
        EXPECT_TRUE(test::WaitUntil([] { return !BoxTitled("Protection"); }));
        EXPECT_EQ(t.session().tripped(), QByteArray(button) == "OK");
    }
    t.session().clearTrip();
}

// The lines after the first, which says what the link is doing.
QStringList LinesAfterTheLink(const Form1& form) {
    return form.linkToolTip().split(u'\n').mid(1);
}

TEST(PanelProtection, TheTooltipAddsTheMetersAndTheCountdown) {
    SessionOnFakeLine s;
    Form1 form(*s.session);
    EXPECT_EQ(LinesAfterTheLink(form), QStringList()) << "nothing measured, no off-timer";
    s.feedFrame("050", "050");
    s.clock.advanceMs(1000);
    s.feedFrame("050", "050");
    EXPECT_TRUE(form.linkToolTip().startsWith("COM2 \u2013 "));
    const QString meters = "meters: 0.0001 Ah, 0.001 Wh in 00:00:01 (CV, inferred)";
    EXPECT_EQ(LinesAfterTheLink(form), QStringList({meters}));
    s.session->startOffTimer(300);
    s.clock.advanceMs(1500);
    EXPECT_EQ(LinesAfterTheLink(form), QStringList({meters, "Zero output in 00:04:59"}));
    s.clock.advanceMs(300'000);
    EXPECT_EQ(LinesAfterTheLink(form), QStringList({meters}));
}

} // namespace
} // namespace velmora
