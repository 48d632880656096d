// The panel's menu: typed set-points and the user's own limits in the
// "Set values" dialog, and "Zero output", through a pseudo-terminal.

#include "core/limits.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "link/port.h"
#include "panel/form1.h"
#include "panel/setpoint_dialog.h"
#include "recorder/channels.h"
#include "recorder/player.h"
#include "settings/form2.h"
#include "support/files.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace velmora {
namespace {

void SetModel(Model model) {
    const Limits own = LimitsOf(model);
    Shared.VoltageLimit = own.voltage;
    Shared.CurrentLimit = own.current;
}

class SetpointActions : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(panel.openCom2());
        form.show();
    }
    void TearDown() override {
        if (Form2* window = SettingsWindow()) window->close();
        CloseAllChannels();
    }

    SetpointDialog* OpenDialog() {
        form.OpenSetpointDialog();
        QTest::qWait(10);
        return form.setpointDialog();
    }
    // Replaces the box's text as typed, key by key, in the box's own locale.
    static void Type(QAbstractSpinBox* box, QString text) {
        text.replace(u'.', box->locale().decimalPoint());
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }

    test::PanelOnPty panel;
    test::PtyPair& pty = panel.pty;
    Form1& form = panel.form;
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
        qint16 voltageAfter;
        qint16 currentAfter;
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
        {Model::Large2A5_25V, "12.5", "600", {12000, 500}, "120\r006\r", 12000, 60},
        {Model::Small1A20V, "9.9", "400", {10000, 400}, "099\r080\r", 9900, 400},
        {Model::Small1A20V, "11", "450", {10000, 400}, "010\r009\r", 1000, 45},
        {Model::Large2A5_25V, "0", "0", {0, 0}, "000\r000\r", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " V, " + c.current + " mA on " +
                     std::to_string(LimitsOf(c.model).current));
        SetModel(c.model);
        SaveUserLimits(c.model, c.user);
        Shared.VoltageSetpoint = 0;
        Shared.CurrentSetpoint = 0;
        SetpointDialog* dialog = OpenDialog();
        ASSERT_NE(dialog, nullptr);
        Type(dialog->voltageBox, QString::fromLatin1(c.voltage));
        Type(dialog->currentBox, QString::fromLatin1(c.current));
        QTest::keyClick(dialog->currentBox, Qt::Key_Return);
        EXPECT_EQ(pty.readFor(8, 1000), c.sent);
        EXPECT_EQ(Shared.VoltageSetpoint, c.voltageAfter);
        EXPECT_EQ(Shared.CurrentSetpoint, c.currentAfter);
        dialog->close();
    }
    EXPECT_TRUE(messages.messages().isEmpty());
}

TEST_F(SetpointActions, DialogOpensOnceOnTheVoltageWithTheModelsSteps) {
    SetModel(Model::Small1A20V);
    Shared.VoltageSetpoint = 5000;
    Shared.CurrentSetpoint = 250;
    SetpointDialog* dialog = OpenDialog();
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
    EXPECT_EQ(dialog->currentBox->value(), 245);  // the 5 mA step of "1A/20V"
    EXPECT_EQ(pty.readFor(1, 100), QByteArray()); // nothing goes out before Send
    form.OpenSetpointDialog();                    // open already: the same one, values kept
    EXPECT_EQ(form.setpointDialog(), dialog);
    EXPECT_EQ(dialog->currentBox->value(), 245);
    dialog->sendButton->click();
    EXPECT_EQ(pty.readFor(8, 1000), QByteArray("051\r049\r"));
    // The buttons go on from the set-points sent.
    QTimer::singleShot(30, &form, [this] { QTest::mouseRelease(form.Command3, Qt::LeftButton); });
    QTest::mousePress(form.Command3, Qt::LeftButton);
    EXPECT_EQ(pty.readFor(8, 1000), QByteArray("052\r049\r"));
}

TEST_F(SetpointActions, DialogWithNoModelShowsTheMessageAndSendsNothing) {
    Shared.CurrentLimit = 0;
    Shared.VoltageSetpoint = 5000;
    SetpointDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->limitsGroup->isEnabled());
    dialog->sendButton->click();
    ASSERT_EQ(messages.messages().size(), 1);
    EXPECT_EQ(messages.messages()[0].title, "Error:");
    EXPECT_EQ(messages.messages()[0].text, "Power supply version is not defined.");
    EXPECT_EQ(pty.readFor(1, 200), QByteArray());
    EXPECT_EQ(Shared.VoltageSetpoint, 5000);
}

// The limits typed into the dialog are the model's own keys, in whole mV and
// mA; unticked, the key goes and the model's limit holds again.
TEST_F(SetpointActions, DialogStoresTheLimitsPerModel) {
    SetModel(Model::Large2A5_25V);
    SetpointDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->voltageLimitOn->setChecked(true);
    Type(dialog->voltageLimitBox, "12.5");
    QTest::keyClick(dialog->voltageLimitBox, Qt::Key_Tab);
    dialog->currentLimitOn->setChecked(true);
    Type(dialog->currentLimitBox, "750");
    QTest::keyClick(dialog->currentLimitBox, Qt::Key_Tab);
    QSettings store(QStringLiteral("Tarnholm"), QString());
    EXPECT_EQ(store.value("Limits/MaxU_2500").toString(), "12500");
    EXPECT_EQ(store.value("Limits/MaxI_2500").toString(), "750");
    EXPECT_FALSE(store.contains("Limits/MaxU_1000"));
    EXPECT_DOUBLE_EQ(dialog->voltageBox->maximum(), 12.5);
    EXPECT_EQ(dialog->currentBox->maximum(), 750);
    dialog->voltageLimitOn->setChecked(false);
    EXPECT_FALSE(QSettings(QStringLiteral("Tarnholm"), QString()).contains("Limits/MaxU_2500"));
    EXPECT_DOUBLE_EQ(dialog->voltageBox->maximum(), 25.0);
}

// Zero output while the player waits for a record's second: the run ends as
// its Stop ends it, and 0 V 0 A go out at once.
TEST_F(SetpointActions, ZeroOutputDuringAPlaybackWaitEndsItAndSendsZero) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(path, "#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n"
                                      "#2099-01-01 00:00:00#,\"02.0V\",\"0.20A\"\r\n"));
    OpenSettingsWindow();
    Form2* window = SettingsWindow();
    ASSERT_NE(window, nullptr);
    window->Text2->setText(path);
    Shared.VoltageSetpoint = 3000;
    QString captionAfter;
    QTimer::singleShot(300, &form, [&] {
        QTest::keyClick(&form, Qt::Key_0, Qt::ControlModifier);
        captionAfter = window->Command2->text();
    });
    window->Command2->click(); // the whole playback runs in here
    EXPECT_EQ(pty.readFor(16, 1000), QByteArray("010\r020\r000\r000\r"));
    EXPECT_EQ(captionAfter, "Start");
    EXPECT_FALSE(PlaybackRunning());
    EXPECT_EQ(Shared.VoltageSetpoint, 0);
    EXPECT_EQ(Shared.CurrentSetpoint, 0);
}

// A command on the line goes out whole; one waiting behind it is dropped and
// its sender returns; then 0 V 0 A.
TEST_F(SetpointActions, ZeroOutputDuringACommandOnTheLineWaitsForItAndDropsTheRest) {
    bool waitingSenderReturned = false;
    QTimer::singleShot(20, [&] {
        SendCommand("222\r222\r");
        waitingSenderReturned = true;
    });
    QTimer::singleShot(35, [this] { form.zeroOutputAction()->trigger(); });
    SendCommand("111\r111\r");
    EXPECT_EQ(pty.readFor(16, 1000), QByteArray("111\r111\r000\r000\r"));
    EXPECT_EQ(pty.readFor(1, 200), QByteArray());
    EXPECT_TRUE(waitingSenderReturned);
}

// During a hold: no further step is taken, and the release sends the
// set-points as they are then, zero, never the ones held before.
TEST_F(SetpointActions, ZeroOutputDuringAHoldEndsItAndNothingOldFollows) {
    SetModel(Model::Large2A5_25V);
    Shared.VoltageSetpoint = 5000;
    QTimer::singleShot(200, &form,
                       [this] { QTest::keyClick(form.Command1, Qt::Key_0, Qt::ControlModifier); });
    QTimer::singleShot(700, &form, [this] { QTest::mouseRelease(form.Command1, Qt::LeftButton); });
    QTest::mousePress(form.Command1, Qt::LeftButton);
    WaitSeconds(0.7);
    EXPECT_EQ(pty.readFor(16, 1000), QByteArray("000\r000\r000\r000\r"));
    EXPECT_EQ(Shared.VoltageSetpoint, 0);
    EXPECT_FALSE(form.Label16.isVisible());
}

TEST_F(SetpointActions, MenuEndsWithSetValuesAndZeroOutput) {
    QTest::mousePress(form.windowHandle(), Qt::RightButton, {}, QPoint(190, 76));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    EXPECT_EQ(texts, QStringList({"Settings…", "Plot…", "Set values…", "Zero output"}));
    EXPECT_EQ(menu->actions().last()->shortcut(), QKeySequence("Ctrl+0"));
    menu->actions()[2]->trigger();
    menu->close();
    ASSERT_NE(form.setpointDialog(), nullptr);
    EXPECT_TRUE(form.setpointDialog()->isVisible());
}

} // namespace
} // namespace velmora
