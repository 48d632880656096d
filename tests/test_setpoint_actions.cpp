// The panel's menu: typed set-points and the user's own limits in the
// "Set values" dialog, and "Zero output".

#include "panel/form1.h"
#include "panel/protection_window.h"
#include "panel/setpoint_dialog.h"
#include "session/session.h"
#include "settings/form2.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/panel_on_fake_line.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"
#include "support/wait_until.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;
using test::WaitUntil;

constexpr qint64 kMs = 1'000'000;

class SetpointActions : public ::testing::Test {
  protected:
    SetpointActions() : SetpointActions(QStringList()) {}
    explicit SetpointActions(const QStringList& stored) : panel(storePath(), stored) {}
    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void TearDown() override {
        if (Form2* window = form.settingsWindow()) window->close();
    }

    QString storePath() const { return dir.filePath("Tarnholm.conf"); }
    // The dialog open, and active as a user's click leaves it.
    SetpointDialog* openDialog() {
        form.OpenSetpointDialog();
        SetpointDialog* dialog = form.setpointDialog();
        EXPECT_TRUE(dialog &&
                    WaitUntil([dialog] { return QApplication::activeWindow() == dialog; }));
        return dialog;
    }
    // Replaces the box's text as typed, key by key.
    static void Type(QAbstractSpinBox* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }
    // Waits until every command asked for is out; what went out.
    QByteArray sent() {
        EXPECT_TRUE(WaitUntil([this] { return session.unit().linkIdle(); }));
        return line->written();
    }

    QTemporaryDir dir;
    test::PanelOnFakeLine panel;
    Session& session = panel.session;
    Form1& form = panel.form;
    test::FakeLine* line = panel.line;
    test::MessageCatcher messages;
};

// What the dialog sends for the values as typed: keys a box refuses (not a
// number, a minus, past the limit) are not taken, and a current between two
// of the unit's steps goes to the nearer one.
TEST_F(SetpointActions, DialogSendsTheTypedValuesWithinTheLimits) {
    struct Case {
        Model model;
        const char* voltage;
        const char* current;
        UserLimits user;
        QByteArray sent;
        int voltageAfter;
        int currentAfter;
    };
    const Case cases[] = {
        {Model::Large2A5_25V, "12.5", "1500", {}, "125\r150\r", 12500, 1500},
        {Model::Small1A20V, "10", "500", {}, "100\r100\r", 10000, 500},
        {Model::Small1A20V, "20.0", "1000", {}, "200\r200\r", 20000, 1000},
        {Model::Large2A5_25V, "25", "2500", {}, "250\r250\r", 25000, 2500},
        {Model::Small1A20V, "0.1", "505", {}, "001\r101\r", 100, 505},
        {Model::Small1A20V, "5", "503", {}, "050\r101\r", 5000, 505},
        {Model::Large2A5_25V, "5", "1505", {}, "050\r151\r", 5000, 1510},
        {Model::Large2A5_25V, "12.34", "15", {}, "123\r002\r", 12300, 20},
        {Model::Large2A5_25V, "30", "2600", {}, "030\r026\r", 3000, 260},
        {Model::Small1A20V, "21", "-5", {}, "020\r001\r", 2000, 5},
        {Model::Large2A5_25V, "abc", "x7", {}, "000\r001\r", 0, 10},
        {Model::Large2A5_25V,
         "12.5",
         "600",
         {Millivolts(12000), Milliamps(500)},
         "120\r006\r",
         12000,
         60},
        {Model::Small1A20V,
         "9.9",
         "400",
         {Millivolts(10000), Milliamps(400)},
         "099\r080\r",
         9900,
         400},
        {Model::Small1A20V,
         "11",
         "450",
         {Millivolts(10000), Milliamps(400)},
         "010\r009\r",
         1000,
         45},
        {Model::Large2A5_25V, "0", "0", {Millivolts(0), Milliamps(0)}, "000\r000\r", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " V, " + c.current + " mA on " +
                     ModelName(c.model).toStdString());
        session.unit().chooseModel(c.model); // both set-points 0, sent
        session.unit().setUserLimits(c.user);
        sent();
        line->clearWrites();
        SetpointDialog* dialog = openDialog();
        ASSERT_NE(dialog, nullptr);
        Type(dialog->voltageBox, QString::fromLatin1(c.voltage));
        Type(dialog->currentBox, QString::fromLatin1(c.current));
        QTest::keyClick(dialog->currentBox, Qt::Key_Return);
        EXPECT_EQ(sent(), c.sent);
        EXPECT_EQ(session.unit().setpoints(),
                  (Setpoints{Millivolts(c.voltageAfter), Milliamps(c.currentAfter)}));
        dialog->close();
    }
    EXPECT_TRUE(messages.messages().isEmpty());
}

TEST_F(SetpointActions, DialogOpensOnceOnTheVoltageWithTheModelsSteps) {
    session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(250)});
    sent();
    line->clearWrites();
    SetpointDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Set values");
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->voltageBox->hasFocus());
    EXPECT_DOUBLE_EQ(dialog->voltageBox->value(), 5.0);
    EXPECT_EQ(dialog->currentBox->value(), 250);
    EXPECT_DOUBLE_EQ(dialog->voltageBox->maximum(), 20.0);
    EXPECT_EQ(dialog->currentBox->maximum(), 1000);
    QTest::keyClick(dialog->voltageBox, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(dialog->voltageBox->value(), 5.1);
    QTest::keyClick(dialog->voltageBox, Qt::Key_Tab);
    EXPECT_TRUE(dialog->currentBox->hasFocus());
    QTest::keyClick(dialog->currentBox, Qt::Key_Down);
    EXPECT_EQ(dialog->currentBox->value(), 245); // the 5 mA step of "1A/20V"
    QTest::qWait(100);
    EXPECT_TRUE(line->writes().isEmpty()); // nothing goes out before Send
    form.OpenSetpointDialog();             // open already: the same one, values kept
    EXPECT_EQ(form.setpointDialog(), dialog);
    EXPECT_EQ(dialog->currentBox->value(), 245);
    dialog->sendButton->click();
    EXPECT_EQ(sent(), QByteArray("051\r049\r"));
    // The buttons go on from the set-points sent.
    QTest::mousePress(form.Command3, Qt::LeftButton);
    QTest::mouseRelease(form.Command3, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([this] { return line->written().size() == 16; }));
    EXPECT_EQ(sent(), QByteArray("051\r049\r052\r049\r"));
}

class SetpointActionsWithNoModel : public SetpointActions {
  protected:
    SetpointActionsWithNoModel() : SetpointActions({"Netzteil/NLI=0"}) {}
};

TEST_F(SetpointActionsWithNoModel, DialogShowsTheMessageAndSendsNothing) {
    SetpointDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->limitsGroup->isEnabled());
    Type(dialog->voltageBox, "5");
    dialog->sendButton->click();
    ASSERT_TRUE(WaitUntil([this] { return !messages.messages().isEmpty(); }));
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].title, "Error:");
    EXPECT_EQ(messages.messages()[0].text, "Power supply version is not defined.");
    QTest::qWait(100);
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_EQ(session.unit().setpoints(), (Setpoints{Millivolts(0), Milliamps(0)}));
}

// The limits typed into the dialog are the model's own keys, in whole mV and
// mA; unticked, the key goes and the model's limit holds again.
TEST_F(SetpointActions, DialogStoresTheLimitsPerModel) {
    session.unit().chooseModel(Model::Large2A5_25V);
    sent();
    line->clearWrites();
    SetpointDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->voltageLimitOn->setChecked(true);
    Type(dialog->voltageLimitBox, "12.5");
    QTest::keyClick(dialog->voltageLimitBox, Qt::Key_Tab);
    dialog->currentLimitOn->setChecked(true);
    Type(dialog->currentLimitBox, "750");
    QTest::keyClick(dialog->currentLimitBox, Qt::Key_Tab);
    {
        const QSettings store(storePath(), QSettings::IniFormat);
        EXPECT_EQ(store.value("Limits/MaxU_2500").toString(), "12500");
        EXPECT_EQ(store.value("Limits/MaxI_2500").toString(), "750");
        EXPECT_FALSE(store.contains("Limits/MaxU_1000"));
    }
    EXPECT_DOUBLE_EQ(dialog->voltageBox->maximum(), 12.5);
    EXPECT_EQ(dialog->currentBox->maximum(), 750);
    dialog->voltageLimitOn->setChecked(false);
    EXPECT_FALSE(QSettings(storePath(), QSettings::IniFormat).contains("Limits/MaxU_2500"));
    EXPECT_DOUBLE_EQ(dialog->voltageBox->maximum(), 25.0);
    EXPECT_TRUE(line->writes().isEmpty()); // no set-point was above them
}

TEST_F(SetpointActions, MenuHoldsSetValuesZeroOutputAndProtection) {
    QMenu* menu = test::OpenPanelMenu(form);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(test::EntryTexts(*menu), QStringList({"Settings…", "Plot…", "Set values…",
                                                    "Zero output", "Protection…", "Runs…"}));
    EXPECT_EQ(menu->actions()[3]->shortcut(), QKeySequence("Ctrl+0"));
    menu->actions()[2]->trigger();
    menu->actions()[4]->trigger();
    menu->close();
    ASSERT_NE(form.setpointDialog(), nullptr);
    EXPECT_TRUE(form.setpointDialog()->isVisible());
    ProtectionWindow* protection = form.protectionWindow();
    ASSERT_NE(protection, nullptr);
    EXPECT_TRUE(protection->isVisible());
    EXPECT_EQ(protection->windowTitle(), "Protection");
    EXPECT_EQ(form.OpenProtectionWindow(), protection) << "one at a time";
}

// Ctrl+0 during a playback: the player's button shows "Start" again.
TEST_F(SetpointActions, ZeroOutputDuringAPlaybackShowsItEnded) {
    const QString path = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(path, "#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n"
                                      "#2099-01-01 00:00:00#,\"02.0V\",\"0.20A\"\r\n"));
    Form2* window = form.OpenSettingsWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->Text2->setText(path);
    window->Command2->click();
    EXPECT_EQ(window->Command2->text(), "Stop");
    // The first record is out; the player waits for the second one's second.
    ASSERT_TRUE(
        WaitUntil([this] { return line->written().size() == 8 && session.unit().linkIdle(); }));
    QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(window->Command2->text(), "Start");
    EXPECT_EQ(session.playerState(), Player::State::Idle);
    EXPECT_EQ(sent(), QByteArray("010\r020\r000\r000\r"));
}

// Ctrl+0 during a hold: the measured read-outs come back at once.
TEST_F(SetpointActions, ZeroOutputDuringAHoldShowsTheReadouts) {
    QTest::mousePress(form.Command1, Qt::LeftButton);
    EXPECT_TRUE(form.Label16.isVisible());
    QTest::keyClick(form.Command1, Qt::Key_0, Qt::ControlModifier);
    EXPECT_FALSE(form.Label16.isVisible());
    EXPECT_TRUE(form.Label1.isVisible());
    EXPECT_TRUE(form.Label2.isVisible());
    EXPECT_FALSE(session.unit().adjusting());
    QTest::mouseRelease(form.Command1, Qt::LeftButton);
}

// Zero output on the fake clock: what goes out, and when.
class ZeroOutput : public ::testing::Test {
  protected:
    qint64 msSince(qint64 startNs, qsizetype write) const {
        return (s.line->writes().at(write).atNs - startNs) / kMs;
    }
    SessionOnFakeLine s;
    Session& session = *s.session;
};

// While the player waits for a record's second: the run ends as its Stop
// ends it, and 0 V 0 A go out at once.
TEST_F(ZeroOutput, DuringAPlaybackWaitEndsItAndSendsZero) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(path, "#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n"
                                      "#2099-01-01 00:00:00#,\"02.0V\",\"0.20A\"\r\n"));
    const qint64 start = s.clock.monotonicNs();
    session.unit().request(SetpointSource::SetValues, {Millivolts(3000), Milliamps(0)});
    s.clock.advanceMs(100);
    ASSERT_TRUE(session.startPlayback(path).started);
    s.clock.advanceMs(200);
    EXPECT_EQ(session.playerState(), Player::State::Running);
    session.unit().request(SetpointSource::ZeroOutput, {});
    EXPECT_EQ(session.playerState(), Player::State::Idle);
    s.clock.advanceMs(5000);
    EXPECT_EQ(s.written(), QByteArray("030\r000\r010\r020\r000\r000\r"));
    EXPECT_EQ(msSince(start, 16), 300);
    EXPECT_EQ(session.unit().setpoints(), (Setpoints{Millivolts(0), Milliamps(0)}));
}

// A command on the line goes out whole; one waiting behind it is dropped and
// its sender told it is done; then 0 V 0 A.
TEST_F(ZeroOutput, DuringACommandOnTheLineWaitsForItAndDropsTheRest) {
    const qint64 start = s.clock.monotonicNs();
    QList<int> done;
    session.unit().request(SetpointSource::SetValues, {Millivolts(11100), Milliamps(555)},
                           [&] { done.append(1); });
    s.clock.advanceMs(20);
    session.unit().request(SetpointSource::SetValues, {Millivolts(12200), Milliamps(610)},
                           [&] { done.append(2); });
    s.clock.advanceMs(15);
    session.unit().request(SetpointSource::ZeroOutput, {});
    EXPECT_EQ(done, QList<int>{2});
    s.clock.advanceMs(1000);
    EXPECT_EQ(s.written(), QByteArray("111\r111\r000\r000\r"));
    EXPECT_EQ(done, QList<int>({2, 1}));
    EXPECT_EQ(msSince(start, 8), 80); // right after the command on the line
}

// During a hold: no further step is taken, and the release sends the
// set-points as they are then, zero, never the ones held before.
TEST_F(ZeroOutput, DuringAHoldEndsItAndNothingOldFollows) {
    session.unit().chooseModel(Model::Large2A5_25V);
    session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(0)});
    s.clock.advanceMs(200);
    s.line->clearWrites();
    const qint64 start = s.clock.monotonicNs();
    int steps = 0;
    QObject::connect(&session.unit(), &UnitControl::adjustStepped, [&] { ++steps; });
    session.unit().pressAdjust(1);
    s.clock.advanceMs(200);
    session.unit().request(SetpointSource::ZeroOutput, {});
    EXPECT_FALSE(session.unit().adjusting());
    s.clock.advanceMs(500);
    session.unit().releaseAdjust();
    s.clock.advanceMs(1000);
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(s.written(), QByteArray("000\r000\r000\r000\r"));
    EXPECT_EQ(msSince(start, 0), 200);
    EXPECT_EQ(msSince(start, 8), 1200);
    EXPECT_EQ(session.unit().setpoints(), (Setpoints{Millivolts(0), Milliamps(0)}));
}

} // namespace
} // namespace velmora
