// The "Set values" dialog: what its voltage boxes read, and that it shows
// the set-points, the model and the limits in force while it is open.

#include "panel/form1.h"
#include "panel/setpoint_dialog.h"
#include "session/session.h"
#include "support/panel_on_fake_line.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"
#include "support/wait_until.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;

void Type(QAbstractSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// The session's set-points shown in a dialog open over it, on the fake clock.
class OpenDialog : public ::testing::Test {
  protected:
    explicit OpenDialog(const QStringList& stored = {}) : s(stored) {}
    void SetUp() override {
        if (session.unit().model() != Model::None)
            session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(250)});
        s.clock.advanceMs(200);
        s.line->clearWrites();
        dialog.refresh();
        dialog.show();
    }
    // What Send puts on the line.
    QByteArray send() {
        const qsizetype before = s.written().size();
        dialog.sendButton->click();
        s.clock.advanceMs(200);
        return s.written().mid(before);
    }
    void expectShown(double volts, int milliamps) const {
        EXPECT_DOUBLE_EQ(dialog.voltageBox->value(), volts);
        EXPECT_EQ(dialog.currentBox->value(), milliamps);
    }

    SessionOnFakeLine s;
    Session& session = *s.session;
    SetpointDialog dialog{session, nullptr};
};

// The panel shows "00,0V": a user types a comma as readily as a point. Both
// voltage boxes read either as the decimal, in any locale; what is not a
// number of volts with one decimal within the limit is refused key by key.
TEST(VoltageBoxes, TakeACommaOrAPointInAnyLocale) {
    const std::pair<const char*, int> cases[] = {
        {"1,5", 1500},   {"1.5", 1500},   {"12", 12000},   {",5", 500},
        {".5", 500},     {"7,", 7000},    {"0,0", 0},      {"1,55", 1500},
        {"1.2.3", 1200}, {"1,2,3", 1200}, {"1,.5", 1500},  {"abc", 20000},
        {"-1", 1000},    {"25", 2000},    {"20,1", 20000}, {"19,9", 19900},
    };
    const QLocale before;
    for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany), QLocale::c(),
                                  QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        for (const auto& [typed, millivolts] : cases) {
            SCOPED_TRACE(locale.name().toStdString() + " " + typed);
            SessionOnFakeLine run;
            run.session->unit().request(SetpointSource::SetValues,
                                        {Millivolts(20000), Milliamps(0)});
            run.clock.advanceMs(200);
            run.line->clearWrites();
            SetpointDialog box(*run.session, nullptr);
            box.refresh();
            box.show();
            // Enter in the set-point box sends what it reads.
            Type(box.voltageBox, QString::fromLatin1(typed));
            QTest::keyClick(box.voltageBox, Qt::Key_Return);
            run.clock.advanceMs(200);
            EXPECT_EQ(
                run.written(),
                QStringLiteral("%1\r000\r").arg(millivolts / 100, 3, 10, QChar(u'0')).toLatin1());
            // The limit box stores what it reads.
            box.voltageLimitOn->setChecked(true);
            Type(box.voltageLimitBox, QString::fromLatin1(typed));
            box.voltageLimitBox->interpretText();
            EXPECT_EQ(test::ValueOf(run.session->unit().userLimits().voltage),
                      std::optional<int>(millivolts));
        }
    }
    QLocale::setDefault(before);
}

TEST_F(OpenDialog, FollowsZeroOutputAndSendsWhatItShows) {
    expectShown(5.0, 250);
    session.unit().request(SetpointSource::ZeroOutput, {});
    expectShown(0.0, 0);
    s.clock.advanceMs(200);
    EXPECT_EQ(send(), QByteArray("000\r000\r"));
}

TEST_F(OpenDialog, FollowsTheButtonsStepByStep) {
    session.unit().pressAdjust(1);
    expectShown(6.0, 250);
    s.clock.advanceMs(500);
    expectShown(7.0, 250);
    session.unit().releaseAdjust();
    s.clock.advanceMs(1000);
    EXPECT_EQ(send(), QByteArray("070\r050\r"));
}

class OpenDialogWithLargeLimits : public OpenDialog {
  protected:
    OpenDialogWithLargeLimits() : OpenDialog({"Limits/MaxU_2500=12000"}) {}
};

// A model chosen while it is open: the dialog shows that model's set-points
// (both 0), steps, limits and the user's own, and its first Send sends what
// is typed on it.
TEST_F(OpenDialogWithLargeLimits, FollowsAModelChange) {
    session.unit().chooseModel(Model::Large2A5_25V);
    s.clock.advanceMs(200); // the zero it sends
    EXPECT_EQ(dialog.limitsGroup->title(), "Own limits for 2,5A/25V");
    expectShown(0.0, 0);
    EXPECT_DOUBLE_EQ(dialog.voltageBox->maximum(), 12.0);
    EXPECT_EQ(dialog.currentBox->maximum(), 2500);
    EXPECT_EQ(dialog.currentBox->singleStep(), 10);
    EXPECT_TRUE(dialog.voltageLimitOn->isChecked());
    EXPECT_DOUBLE_EQ(dialog.voltageLimitBox->value(), 12.0);
    EXPECT_FALSE(dialog.currentLimitOn->isChecked());
    EXPECT_EQ(dialog.currentLimitBox->value(), 2500);
    Type(dialog.voltageBox, "11.5");
    Type(dialog.currentBox, "1500");
    EXPECT_EQ(send(), QByteArray("115\r150\r"));

    session.unit().chooseModel(Model::Small1A20V);
    s.clock.advanceMs(200);
    EXPECT_EQ(dialog.limitsGroup->title(), "Own limits for 1A/20V");
    expectShown(0.0, 0);
    EXPECT_DOUBLE_EQ(dialog.voltageBox->maximum(), 20.0);
    EXPECT_EQ(dialog.currentBox->maximum(), 1000);
    EXPECT_EQ(dialog.currentBox->singleStep(), 5);
    EXPECT_FALSE(dialog.voltageLimitOn->isChecked());
    EXPECT_EQ(send(), QByteArray("000\r000\r"));
}

// Limits set by another path (remote control) show at once, and a set-point
// they lowered shows lowered.
TEST_F(OpenDialog, FollowsTheUsersLimitsSetElsewhere) {
    session.unit().setUserLimits({Millivolts(4000), Milliamps(200)});
    EXPECT_TRUE(dialog.voltageLimitOn->isChecked());
    EXPECT_DOUBLE_EQ(dialog.voltageLimitBox->value(), 4.0);
    EXPECT_TRUE(dialog.currentLimitOn->isChecked());
    EXPECT_EQ(dialog.currentLimitBox->value(), 200);
    EXPECT_DOUBLE_EQ(dialog.voltageBox->maximum(), 4.0);
    EXPECT_EQ(dialog.currentBox->maximum(), 200);
    expectShown(4.0, 200);
    s.clock.advanceMs(200);
    EXPECT_EQ(send(), QByteArray("040\r040\r"));
    session.unit().setUserLimits({});
    EXPECT_FALSE(dialog.voltageLimitOn->isChecked());
    EXPECT_DOUBLE_EQ(dialog.voltageBox->maximum(), 20.0);
}

// Ctrl+0 pressed in the dialog itself, as in every window of the program.
TEST(SetpointDialogOnThePanel, FollowsZeroOutputPressedInIt) {
    QTemporaryDir dir;
    test::PanelOnFakeLine panel(dir.filePath("Tarnholm.conf"), {});
    panel.form.show();
    panel.session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(250)});
    panel.form.OpenSetpointDialog();
    SetpointDialog* dialog = panel.form.setpointDialog();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    EXPECT_DOUBLE_EQ(dialog->voltageBox->value(), 5.0);
    QTest::keyClick(dialog->voltageBox, Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(dialog->voltageBox->value(), 0.0);
    EXPECT_EQ(dialog->currentBox->value(), 0);
    dialog->sendButton->click();
    EXPECT_TRUE(test::WaitUntil([&] { return panel.line->written().size() == 24; }));
    EXPECT_EQ(panel.line->written(), QByteArray("050\r050\r000\r000\r000\r000\r"));
}

// A settings file that cannot be written: the limits hold for this run, and
// the dialog says once that they were not saved.
TEST_F(OpenDialog, SaysOnceWhenTheLimitsCannotBeSaved) {
    ASSERT_TRUE(QDir().mkpath(s.storePath())); // a folder where the file would be
    EXPECT_FALSE(dialog.storeNote->isVisible());
    dialog.voltageLimitBox->setValue(4.0);
    dialog.voltageLimitOn->setChecked(true);
    EXPECT_TRUE(dialog.storeNote->isVisible());
    const QString note = dialog.storeNote->text();
    EXPECT_TRUE(note.startsWith("Your limits could not be saved")) << note.toStdString();
    EXPECT_TRUE(note.contains(s.storePath())) << note.toStdString();
    dialog.currentLimitBox->setValue(200);
    dialog.currentLimitOn->setChecked(true);
    EXPECT_EQ(dialog.storeNote->text(), note);
    EXPECT_TRUE(s.said.isEmpty());
    EXPECT_EQ(session.unit().userLimits(), (UserLimits{Millivolts(4000), Milliamps(200)}));
    EXPECT_EQ(session.unit().setpoints(), (Setpoints{Millivolts(4000), Milliamps(200)}));
    s.clock.advanceMs(200);
    EXPECT_EQ(s.written(), QByteArray("040\r050\r040\r040\r"));
}

// Stored limits that are not whole numbers from 0 to the model's limit: the
// model's limit holds, and the dialog says which could not be read until the
// user sets the limits anew.
TEST(SetpointDialogLimits, SaysWhichStoredLimitCannotBeRead) {
    struct Case {
        QStringList stored;
        QString note;
        UserLimits limits;
    };
    const QString tail = "cannot be read; the model's limit holds until you set one here.";
    const Case cases[] = {
        {{"Limits/MaxU_1000=+5000"}, "The stored limit MaxU_1000=+5000 " + tail, {}},
        {{"Netzteil/NLI=2500", "Limits/MaxU_2500=12000.5"},
         "The stored limit MaxU_2500=12000.5 " + tail,
         {}},
        {{"Limits/MaxI_1000=1001"}, "The stored limit MaxI_1000=1001 " + tail, {}},
        {{"Limits/MaxU_1000=+5", "Limits/MaxI_1000=abc"},
         "The stored limit MaxU_1000=+5, MaxI_1000=abc " + tail,
         {}},
        {{"Limits/MaxU_1000=5000", "Limits/MaxI_1000=0.5"},
         "The stored limit MaxI_1000=0.5 " + tail,
         {Millivolts(5000), {}}},
        {{"Limits/MaxU_1000=5000", "Limits/MaxI_1000=500"}, "", {Millivolts(5000), Milliamps(500)}},
        {{"Limits/MaxU_2500=x"}, "", {}}, // another model's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.join(u' ').toStdString());
        SessionOnFakeLine s(c.stored);
        SetpointDialog dialog(*s.session, nullptr);
        dialog.refresh();
        dialog.show();
        EXPECT_EQ(s.session->unit().userLimits(), c.limits);
        EXPECT_EQ(dialog.storeNote->isVisible(), !c.note.isEmpty());
        if (!c.note.isEmpty()) {
            EXPECT_EQ(dialog.storeNote->text(), c.note);
        }
        dialog.voltageLimitOn->setChecked(!dialog.voltageLimitOn->isChecked());
        EXPECT_FALSE(dialog.storeNote->isVisible()) << "once the user has set them";
    }
}

} // namespace
} // namespace velmora
