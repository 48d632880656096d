// The eight adjust buttons on the panel as a user works them: the set-point
// read-out, the mouse buttons and keys, and the timings on a real
// pseudo-terminal.

#include "panel/form1.h"
#include "session/session.h"
#include "support/fake_line.h"
#include "support/message_catcher.h"
#include "support/panel_on_fake_line.h"
#include "support/panel_on_pty.h"
#include "support/spacing.h"
#include "support/wait_until.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::FakeLine;
using test::WaitUntil;

constexpr qint64 kMs = 1'000'000;

// The panel as a user works it, on the real clock.
class AdjustButtons : public ::testing::Test {
  protected:
    AdjustButtons() : AdjustButtons(QStringList()) {}
    explicit AdjustButtons(const QStringList& stored)
        : panel(dir.filePath("Tarnholm.conf"), stored) {
        QObject::connect(&panel.session.unit(), &UnitControl::adjustEnded, [this] { ++ended; });
        form.show();
    }

    // Presses, holds and releases adjust button `number`, and returns once
    // the release has come due and its command, if any, is out.
    void pressAndHold(int number, int holdMs, Qt::MouseButton button = Qt::LeftButton) {
        AdjustButton* target = form.command(number);
        const int before = ended;
        QTest::mousePress(target, button);
        QTest::qWait(holdMs);
        QTest::mouseRelease(target, button);
        waitForRelease(before);
    }
    void waitForRelease(int endedBefore) {
        EXPECT_TRUE(
            WaitUntil([&] { return ended > endedBefore && panel.session.unit().linkIdle(); }));
    }
    void expectMeasuredReadoutsShown() const {
        EXPECT_TRUE(form.Label1.isVisible());
        EXPECT_TRUE(form.Label2.isVisible());
        EXPECT_FALSE(form.Label16.isVisible());
    }

    QTemporaryDir dir;
    test::PanelOnFakeLine panel;
    Form1& form = panel.form;
    FakeLine* line = panel.line;
    int ended = 0;
};

// While held the display shows the set-point in place of the measured
// read-outs, and keeps it for the half second after the release.
TEST_F(AdjustButtons, HeldButtonShowsTheSetpointUntilItsCommandGoesOut) {
    expectMeasuredReadoutsShown();
    QTest::mousePress(form.Command3, Qt::LeftButton);
    EXPECT_TRUE(form.Label16.isVisible());
    EXPECT_FALSE(form.Label1.isVisible());
    EXPECT_FALSE(form.Label2.isVisible());
    EXPECT_EQ(form.Label16.caption(), QStringLiteral("00100mV"));
    QTest::mouseRelease(form.Command3, Qt::LeftButton);
    EXPECT_TRUE(form.Label16.isVisible());
    waitForRelease(0);
    expectMeasuredReadoutsShown();
    EXPECT_EQ(line->written(), QByteArray("001\r000\r"));
}

TEST_F(AdjustButtons, EveryMouseButtonSteps) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
        pressAndHold(3, 30, button);
    EXPECT_EQ(panel.session.unit().setpoints().voltage.value, 300);
    EXPECT_EQ(line->written(), QByteArray("001\r000\r002\r000\r003\r000\r"));
    expectMeasuredReadoutsShown();
    EXPECT_FALSE(QApplication::activePopupWidget());
}

// A quick second click arrives as a double click; it is a press all the same.
TEST_F(AdjustButtons, DoubleClickStepsTwiceAndSendsTwice) {
    pressAndHold(3, 30);
    AdjustButton* target = form.Command3;
    const QPointF at = target->rect().center();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at),
                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &doubleClick);
    EXPECT_EQ(form.Label16.caption(), QStringLiteral("00200mV"));
    QTest::qWait(30);
    QTest::mouseRelease(target, Qt::LeftButton);
    waitForRelease(1);
    EXPECT_EQ(panel.session.unit().setpoints().voltage.value, 200);
    EXPECT_EQ(line->written(), QByteArray("001\r000\r002\r000\r"));
    expectMeasuredReadoutsShown();
}

TEST_F(AdjustButtons, KeyboardActivationDoesNothing) {
    form.Command3->setFocus();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Select})
        QTest::keyClick(form.Command3, key);
    QTest::qWait(700); // past the half second a release would wait
    EXPECT_EQ(panel.session.unit().setpoints(), (Setpoints{Millivolts(0), Milliamps(0)}));
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_EQ(ended, 0);
    expectMeasuredReadoutsShown();
}

// One hold for all buttons: releasing any of them ends the hold of another.
TEST_F(AdjustButtons, ReleaseOfAnotherButtonEndsTheHold) {
    QTest::mousePress(form.Command1, Qt::LeftButton);
    QTest::qWait(100);
    QTest::mouseRelease(form.Command5, Qt::LeftButton);
    EXPECT_FALSE(panel.session.unit().adjusting());
    waitForRelease(0);
    QTest::qWait(500); // no further step of the first button
    EXPECT_EQ(panel.session.unit().setpoints(), (Setpoints{Millivolts(1000), Milliamps(0)}));
    EXPECT_EQ(line->written(), QByteArray("010\r000\r"));
}

class AdjustButtonsWithNoModel : public AdjustButtons {
  protected:
    AdjustButtonsWithNoModel() : AdjustButtons({"Netzteil/NLI=0"}) {}
};

TEST_F(AdjustButtonsWithNoModel, ReleaseShowsTheMessageAndSendsNothing) {
    test::MessageCatcher catcher;
    pressAndHold(3, 30);
    ASSERT_TRUE(WaitUntil([&] { return !catcher.messages().isEmpty(); }));
    ASSERT_EQ(catcher.messages().size(), 1);
    EXPECT_EQ(catcher.messages()[0].title, QStringLiteral("Error:"));
    EXPECT_EQ(catcher.messages()[0].text, QStringLiteral("Power supply version is not defined."));
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_EQ(panel.session.unit().setpoints().voltage.value, 100); // the button still stepped
    expectMeasuredReadoutsShown();
}

// Through a real pseudo-terminal: the test plays the unit at the master end.
class AdjustOverPty : public ::testing::Test {
  protected:
    AdjustOverPty() : panel(Stamping(line)) {}
    void SetUp() override {
        ASSERT_TRUE(panel.openCom2());
        form.show();
    }

    static std::unique_ptr<SerialLine> Stamping(test::StampingLine*& line) {
        auto stamping = std::make_unique<test::StampingLine>();
        line = stamping.get();
        return stamping;
    }
    // Set-points sent and out of the way before the test begins.
    void startFrom(Model model, qint16 voltage, qint16 current) {
        // A model chosen sends the zero first.
        const int commands = session.unit().model() != model ? 2 : 1;
        if (session.unit().model() != model) session.unit().chooseModel(model);
        session.unit().request(SetpointSource::SetValues,
                               {Millivolts(voltage), Milliamps(current)});
        EXPECT_EQ(pty.readFor(8 * commands, 2000).size(), 8 * commands);
        line->clearWrites();
    }
    void press(int number) { QTest::mousePress(form.command(number), Qt::LeftButton); }
    void release(int number) { QTest::mouseRelease(form.command(number), Qt::LeftButton); }
    qint64 now() const { return panel.clock.monotonicNs(); }

    // Characters go out one per write, at least the pause apart. The moments
    // are taken at the writes: a pseudo-terminal hands each character to the
    // master end at once, and stamps taken there would measure how late the
    // reader got to it rather than the program.
    void expectCharactersSpaced() const { test::ExpectOneCharacterPerWriteSpaced(line->writes()); }

    test::StampingLine* line = nullptr;
    test::PanelOnPty panel;
    test::PtyPair& pty = panel.pty;
    Session& session = panel.session;
    Form1& form = panel.form;
};

TEST_F(AdjustOverPty, ShortPressSendsHalfASecondAfterTheRelease) {
    startFrom(Model::Small1A20V, 5000, 0);
    qint64 hiddenAt = 0;
    QObject::connect(&session.unit(), &UnitControl::adjustEnded, [&] {
        if (!form.Label16.isVisible()) hiddenAt = now();
    });
    press(3);
    QTest::qWait(50);
    EXPECT_EQ(form.Label16.caption(), QStringLiteral("05100mV"));
    const qint64 releasedAt = now();
    release(3);
    EXPECT_EQ(pty.readFor(8, 3000), QByteArray("051\r000\r"));
    ASSERT_EQ(line->writes().size(), 8);
    const qint64 firstAfterRelease = line->writes().front().atNs - releasedAt;
    // Generous upper bounds: a machine under load may be late, never early.
    EXPECT_GE(firstAfterRelease, 500 * kMs);
    EXPECT_LT(firstAfterRelease, 2000 * kMs);
    EXPECT_GE(hiddenAt - releasedAt, 500 * kMs); // Label16 stays for half a second
    EXPECT_LT(hiddenAt - releasedAt, 2000 * kMs);
    expectCharactersSpaced();
}

TEST_F(AdjustOverPty, HoldingPlusOneVoltStepsEveryHalfSecond) {
    std::vector<qint64> stepTimes;
    const qint64 pressedAt = now();
    QObject::connect(&session.unit(), &UnitControl::adjustStepped,
                     [&] { stepTimes.push_back(now() - pressedAt); });
    press(1);
    QTest::qWait(1200);
    release(1);
    EXPECT_EQ(pty.readFor(8, 3000), QByteArray("030\r000\r"));
    EXPECT_EQ(session.unit().setpoints().voltage.value, 3000);
    ASSERT_EQ(stepTimes.size(), 3u);
    // The first step at once, each next one half a second after the one
    // before; late is allowed, early is not.
    EXPECT_LT(stepTimes[0], 400 * kMs);
    EXPECT_GE(stepTimes[1] - stepTimes[0], 500 * kMs);
    EXPECT_GE(stepTimes[2] - stepTimes[1], 500 * kMs);
    EXPECT_LT(stepTimes[2], 1200 * kMs); // both before the release
    expectCharactersSpaced();
}

TEST_F(AdjustOverPty, TwoReleasesInQuickSuccessionSendTwoWholeCommands) {
    startFrom(Model::Large2A5_25V, 12500, 1500);
    press(7);
    QTest::qWait(30);
    release(7);
    QTest::qWait(50);
    press(5);
    QTest::qWait(30);
    release(5);
    EXPECT_EQ(pty.readFor(16, 3000), QByteArray("125\r161\r125\r161\r"));
    EXPECT_EQ(line->writes().size(), 16);
    expectCharactersSpaced();
}

// A second adjustment made while the first command is on the line: the first
// goes on, 10 ms a character, underneath the second press-and-hold; the
// second follows it whole.
TEST_F(AdjustOverPty, PressDuringTheFirstCommandLeavesItWholeAndOnTime) {
    startFrom(Model::Large2A5_25V, 12500, 1500);
    qsizetype writtenAtPress = -1;
    QObject::connect(&session.unit(), &UnitControl::commandStarted, &form, [&] {
        if (writtenAtPress >= 0) return;
        writtenAtPress = 0;
        QTimer::singleShot(25, &form, [&] {
            writtenAtPress = line->writes().size();
            press(5);
            QTimer::singleShot(30, &form, [&] { release(5); });
        });
    });
    press(7);
    QTest::qWait(30);
    release(7);
    EXPECT_EQ(pty.readFor(16, 3000), QByteArray("125\r151\r125\r161\r"));
    EXPECT_GT(writtenAtPress, 0);
    EXPECT_LT(writtenAtPress, 8);
    ASSERT_EQ(line->writes().size(), 16);
    for (int i = 1; i < 8; ++i)
        // Not held up by the second press's half-second waits.
        EXPECT_LT(line->writes()[i].atNs - line->writes()[i - 1].atNs, 400 * kMs) << "write " << i;
    expectCharactersSpaced();
}

} // namespace
} // namespace velmora
