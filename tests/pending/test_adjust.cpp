// The eight adjust buttons: steps and bounds, the set-point read-out, press
// and hold, release, and the command each release sends.

#include "core/constants.h"
#include "core/limits.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/adjust.h"
#include "panel/form1.h"
#include "support/fake_line.h"
#include "support/message_catcher.h"
#include "support/panel_on_pty.h"
#include "support/spacing.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::FakeLine;

constexpr qint64 kMs = 1'000'000;

void SetModel(Model model) {
    Shared.VoltageLimit = LimitsOf(model).voltage;
    Shared.CurrentLimit = LimitsOf(model).current;
}

// Presses adjust button `number`, releases it `holdMs` later, and returns
// once the whole press-and-hold, release and command included, is over.
void PressAndHold(Form1& form, int number, int holdMs, Qt::MouseButton button = Qt::LeftButton) {
    AdjustButton* target = form.command(number);
    QTimer::singleShot(holdMs, target, [target, button] { QTest::mouseRelease(target, button); });
    QTest::mousePress(target, button);
}

void ExpectMeasuredReadoutsShown(const Form1& form) {
    EXPECT_TRUE(form.Label1.isVisible());
    EXPECT_TRUE(form.Label2.isVisible());
    EXPECT_FALSE(form.Label16.isVisible());
}

TEST(SetpointCaption, PadsToFiveOrFourDigits) {
    const std::tuple<bool, qint16, const char*> cases[] = {
        {true, 12500, "12500mV"}, {true, 500, "00500mV"},  {true, 0, "00000mV"},
        {true, 25000, "25000mV"}, {false, 1500, "1500mA"}, {false, 50, "0050mA"},
        {false, 0, "0000mA"},     {false, 2500, "2500mA"},
    };
    for (const auto& [voltage, setpoint, text] : cases)
        EXPECT_EQ(SetpointCaption(voltage, setpoint), QString::fromLatin1(text)) << setpoint;
}

// A step that would pass the limit or zero is not taken; nothing is clamped.
TEST(Stepped, TakesAStepOnlyWhenItStaysWithinBounds) {
    const std::tuple<qint16, int, qint16, qint16> cases[] = {
        {24500, 1000, 25000, 24500},
        {24000, 1000, 25000, 25000},
        {24500, 100, 25000, 24600},
        {20050, 100, 20000, 20050},
        {500, -1000, 20000, 500},
        {1000, -1000, 20000, 0},
        {10, -10, 1000, 0},
        {0, -10, 1000, 0},
        {5, -10, 1000, 5},
        {32000, 1000, 32767, 32000},
        {0, 10, 0, 0},
    };
    for (const auto& [setpoint, delta, limit, after] : cases)
        EXPECT_EQ(Stepped(setpoint, delta, limit), after)
            << setpoint << " " << delta << " " << limit;
}

class AdjustButtons : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ClearSettings();
        ResetSharedState();
        form = std::make_unique<Form1>();
        auto fake = std::make_unique<FakeLine>();
        line = fake.get();
        form->MSComm1->setLine(std::move(fake));
        OpenPort();
        ASSERT_TRUE(form->MSComm1->PortOpen());
        form->show();
    }
    void TearDown() override { form.reset(); }

    std::unique_ptr<Form1> form;
    FakeLine* line = nullptr;
};

struct BoundCase {
    const char* name;
    Model model;
    qint16 voltage;
    qint16 current;
    int button;
    qint16 voltageAfter;
    qint16 currentAfter;
    const char* caption;
    QByteArray command;
    UserLimits user = {}; // the user's own limits for the model
};

class AdjustBounds : public AdjustButtons, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(AdjustBounds, StepsShowsAndSends) {
    const BoundCase& c = GetParam();
    SetModel(c.model);
    SaveUserLimits(c.model, c.user);
    Shared.VoltageSetpoint = c.voltage;
    Shared.CurrentSetpoint = c.current;
    QString captionWhileHeld;
    bool readoutsSwapped = false;
    QTimer::singleShot(20, form.get(), [&] {
        captionWhileHeld = form->Label16.caption();
        readoutsSwapped =
            form->Label16.isVisible() && !form->Label1.isVisible() && !form->Label2.isVisible();
    });
    PressAndHold(*form, c.button, 40);
    EXPECT_EQ(Shared.VoltageSetpoint, c.voltageAfter);
    EXPECT_EQ(Shared.CurrentSetpoint, c.currentAfter);
    EXPECT_EQ(captionWhileHeld, QString::fromLatin1(c.caption));
    EXPECT_TRUE(readoutsSwapped);
    EXPECT_EQ(line->written(), c.command);
    ExpectMeasuredReadoutsShown(*form);
    EXPECT_FALSE(Shared.ButtonHeld);
}

INSTANTIATE_TEST_SUITE_P(
    EightButtons, AdjustBounds,
    ::testing::Values(
        BoundCase{"Large24500PlusOneVoltStays", Model::Large2A5_25V, 24500, 0, 1, 24500, 0,
                  "24500mV", "245\r000\r"},
        BoundCase{"Large24500PlusTenth", Model::Large2A5_25V, 24500, 0, 3, 24600, 0, "24600mV",
                  "246\r000\r"},
        BoundCase{"Large24000PlusOneVoltReachesLimit", Model::Large2A5_25V, 24000, 0, 1, 25000, 0,
                  "25000mV", "250\r000\r"},
        BoundCase{"Small20000PlusTenthStays", Model::Small1A20V, 20000, 0, 3, 20000, 0, "20000mV",
                  "200\r000\r"},
        BoundCase{"Small500MinusOneVoltStays", Model::Small1A20V, 500, 0, 2, 500, 0, "00500mV",
                  "005\r000\r"},
        BoundCase{"Small500MinusTenth", Model::Small1A20V, 500, 0, 4, 400, 0, "00400mV",
                  "004\r000\r"},
        BoundCase{"Small0MinusTenthStays", Model::Small1A20V, 0, 0, 4, 0, 0, "00000mV",
                  "000\r000\r"},
        BoundCase{"Small950PlusHundredMilliampsStays", Model::Small1A20V, 0, 950, 5, 0, 950,
                  "0950mA", "000\r190\r"},
        BoundCase{"Small950PlusTen", Model::Small1A20V, 0, 950, 7, 0, 960, "0960mA", "000\r192\r"},
        BoundCase{"Small50MinusHundredStays", Model::Small1A20V, 0, 50, 6, 0, 50, "0050mA",
                  "000\r010\r"},
        BoundCase{"Large1500MinusHundred", Model::Large2A5_25V, 12500, 1500, 6, 12500, 1400,
                  "1400mA", "125\r140\r"},
        BoundCase{"Large2500PlusTenStays", Model::Large2A5_25V, 0, 2500, 7, 0, 2500, "2500mA",
                  "000\r250\r"},
        BoundCase{"Small10MinusTen", Model::Small1A20V, 0, 10, 8, 0, 0, "0000mA", "000\r000\r"},
        // The user's own limits stop a step the same way, without clamping.
        BoundCase{"OwnLimit12000PlusOneVoltFrom11500Stays",
                  Model::Large2A5_25V,
                  11500,
                  0,
                  1,
                  11500,
                  0,
                  "11500mV",
                  "115\r000\r",
                  {12000, {}}},
        BoundCase{"OwnLimit12000PlusOneVoltFrom11000Reaches",
                  Model::Large2A5_25V,
                  11000,
                  0,
                  1,
                  12000,
                  0,
                  "12000mV",
                  "120\r000\r",
                  {12000, {}}},
        BoundCase{"OwnLimit500PlusTenFrom500Stays",
                  Model::Small1A20V,
                  0,
                  500,
                  7,
                  0,
                  500,
                  "0500mA",
                  "000\r100\r",
                  {{}, 500}},
        BoundCase{"OwnLimitAboveTheSetpointStillStepsDown",
                  Model::Small1A20V,
                  15000,
                  0,
                  2,
                  14000,
                  0,
                  "14000mV",
                  "140\r000\r",
                  {10000, {}}}),

    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AdjustButtons, MinusTenTwiceFromTenStopsAtZero) {
    Shared.CurrentSetpoint = 10;
    PressAndHold(*form, 8, 30);
    QString caption;
    QTimer::singleShot(20, form.get(), [&] { caption = form->Label16.caption(); });
    PressAndHold(*form, 8, 30);
    EXPECT_EQ(Shared.CurrentSetpoint, 0);
    EXPECT_EQ(caption, QStringLiteral("0000mA"));
    EXPECT_EQ(line->written(), QByteArray("000\r000\r000\r000\r")); // every release sends
}

TEST_F(AdjustButtons, EveryMouseButtonSteps) {
    Shared.VoltageSetpoint = 5000;
    PressAndHold(*form, 3, 30, Qt::RightButton);
    EXPECT_EQ(Shared.VoltageSetpoint, 5100);
    PressAndHold(*form, 3, 30, Qt::MiddleButton);
    EXPECT_EQ(Shared.VoltageSetpoint, 5200);
    EXPECT_EQ(line->written(), QByteArray("051\r000\r052\r000\r"));
    ExpectMeasuredReadoutsShown(*form);
}

// A quick second click arrives as a double click; it is a press all the same.
TEST_F(AdjustButtons, DoubleClickStepsTwiceAndSendsTwice) {
    Shared.VoltageSetpoint = 5000;
    PressAndHold(*form, 3, 30);
    AdjustButton* target = form->Command3;
    QTimer::singleShot(30, target, [target] { QTest::mouseRelease(target, Qt::LeftButton); });
    const QPointF at = target->rect().center();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at),
                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &doubleClick);
    EXPECT_EQ(Shared.VoltageSetpoint, 5200);
    EXPECT_EQ(line->written(), QByteArray("051\r000\r052\r000\r"));
    ExpectMeasuredReadoutsShown(*form);
}

TEST_F(AdjustButtons, KeyboardActivationDoesNothing) {
    Shared.VoltageSetpoint = 5000;
    form->Command3->setFocus();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Select})
        QTest::keyClick(form->Command3, key);
    WaitSeconds(0.1);
    EXPECT_EQ(Shared.VoltageSetpoint, 5000);
    EXPECT_TRUE(line->writes().isEmpty());
    ExpectMeasuredReadoutsShown(*form);
}

TEST_F(AdjustButtons, NoModelShowsTheMessageAndSendsNothing) {
    Shared.CurrentLimit = 0;
    Shared.VoltageSetpoint = 5000;
    test::MessageCatcher catcher;
    PressAndHold(*form, 3, 30);
    ASSERT_EQ(catcher.messages().size(), 1);
    EXPECT_EQ(catcher.messages()[0].title, QStringLiteral("Error:"));
    EXPECT_EQ(catcher.messages()[0].text, QStringLiteral("Power supply version is not defined."));
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_EQ(Shared.VoltageSetpoint, 5100); // the button still stepped
    ExpectMeasuredReadoutsShown(*form);
}

TEST_F(AdjustButtons, ReleaseWithNoPressRunningStillSends) {
    SetModel(Model::Large2A5_25V);
    Shared.VoltageSetpoint = 12500;
    Shared.CurrentSetpoint = 1500;
    QTest::mouseRelease(form->Command5, Qt::LeftButton);
    EXPECT_EQ(line->written(), QByteArray("125\r150\r"));
    EXPECT_EQ(Shared.CurrentSetpoint, 1500);
    ExpectMeasuredReadoutsShown(*form);
}

// One flag for all buttons: releasing any of them ends the hold of another.
TEST_F(AdjustButtons, ReleaseOfAnotherButtonEndsTheHold) {
    QTimer::singleShot(100, form.get(),
                       [&] { QTest::mouseRelease(form->Command5, Qt::LeftButton); });
    QTest::mousePress(form->Command1, Qt::LeftButton);
    EXPECT_EQ(Shared.VoltageSetpoint, 1000);
    EXPECT_EQ(line->written(), QByteArray("010\r000\r"));
    EXPECT_FALSE(Shared.ButtonHeld);
}

// A press during the half second after a release runs a whole press-and-hold
// inside it; both releases send the set-points the nested one left.
TEST_F(AdjustButtons, PressDuringTheWaitAfterAReleaseSendsTwoCommands) {
    Shared.VoltageSetpoint = 5000;
    QTimer::singleShot(250, form.get(), [&] {
        EXPECT_FALSE(Shared.ButtonHeld);
        EXPECT_TRUE(line->writes().isEmpty());
        PressAndHold(*form, 3, 50);
    });
    PressAndHold(*form, 3, 30);
    EXPECT_EQ(Shared.VoltageSetpoint, 5200);
    EXPECT_EQ(line->written(), QByteArray("052\r000\r052\r000\r"));
    ExpectMeasuredReadoutsShown(*form);
}

// Through a real pseudo-terminal: the test plays the unit at the master end.
class AdjustOverPty : public ::testing::Test {
  protected:
    void SetUp() override {
        auto stamping = std::make_unique<test::StampingLine>();
        line = stamping.get();
        ASSERT_TRUE(panel.openCom2(std::move(stamping)));
        form->show();
    }

    // Characters go out one per write, at least the pause apart. The moments
    // are taken at the writes: a pseudo-terminal hands each character to the
    // master end at once, and stamps taken there would measure how late the
    // reader got to it rather than the program.
    void ExpectCharactersSpaced() const { test::ExpectOneCharacterPerWriteSpaced(line->writes()); }

    test::PanelOnPty panel;
    test::PtyPair& pty = panel.pty;
    Form1* form = &panel.form;
    test::StampingLine* line = nullptr;
};

TEST_F(AdjustOverPty, ShortPressSendsHalfASecondAfterTheRelease) {
    Shared.VoltageSetpoint = 5000;
    qint64 releasedAt = 0;
    qint64 hiddenAt = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (releasedAt && !hiddenAt && !form->Label16.isVisible()) hiddenAt = MonotonicNs();
    });
    watch.start(2);
    QTimer::singleShot(50, form, [&] {
        EXPECT_EQ(form->Label16.caption(), QStringLiteral("05100mV"));
        releasedAt = MonotonicNs();
        QTest::mouseRelease(form->Command3, Qt::LeftButton);
    });
    QTest::mousePress(form->Command3, Qt::LeftButton);
    EXPECT_EQ(pty.readFor(16, 300), QByteArray("051\r000\r"));
    ASSERT_EQ(line->writes().size(), 8);
    const qint64 firstAfterRelease = line->writes().front().atNs - releasedAt;
    // Generous upper bounds: a machine under load may be late, never early.
    EXPECT_GE(firstAfterRelease, 500 * kMs);
    EXPECT_LT(firstAfterRelease, 2000 * kMs);
    EXPECT_GE(hiddenAt - releasedAt, 490 * kMs); // Label16 stays for half a second
    EXPECT_LT(hiddenAt - releasedAt, 2000 * kMs);
    ExpectCharactersSpaced();
}

TEST_F(AdjustOverPty, HoldingPlusOneVoltStepsEveryHalfSecond) {
    std::vector<qint64> stepTimes;
    qint16 last = Shared.VoltageSetpoint;
    const qint64 pressedAt = MonotonicNs();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (Shared.VoltageSetpoint == last) return;
        last = Shared.VoltageSetpoint;
        stepTimes.push_back(MonotonicNs() - pressedAt);
    });
    watch.start(2);
    PressAndHold(*form, 1, 1200);
    EXPECT_EQ(Shared.VoltageSetpoint, 3000);
    EXPECT_EQ(pty.readFor(16, 300), QByteArray("030\r000\r"));
    ASSERT_EQ(stepTimes.size(), 3u);
    // The first step at once, each next one half a second after the one
    // before; late is allowed, early is not.
    EXPECT_LT(stepTimes[0], 400 * kMs);
    EXPECT_GE(stepTimes[1], 490 * kMs);
    EXPECT_GE(stepTimes[2], 990 * kMs);
    EXPECT_LT(stepTimes[2], 1200 * kMs); // both before the release
    ExpectCharactersSpaced();
}

TEST_F(AdjustOverPty, TwoReleasesInQuickSuccessionSendTwoWholeCommands) {
    SetModel(Model::Large2A5_25V);
    Shared.VoltageSetpoint = 12500;
    Shared.CurrentSetpoint = 1500;
    QTimer::singleShot(80, form, [&] { PressAndHold(*form, 5, 30); });
    PressAndHold(*form, 7, 30);
    EXPECT_EQ(pty.readFor(24, 300), QByteArray("125\r161\r125\r161\r"));
    EXPECT_EQ(Shared.TransmitIndex, 9);
    ExpectCharactersSpaced();
}

// A second adjustment made while the first command is on the line: the first
// goes on, 10 ms a character, underneath the second press-and-hold; the
// second follows it whole.
TEST_F(AdjustOverPty, PressDuringTheFirstCommandLeavesItWholeAndOnTime) {
    SetModel(Model::Large2A5_25V);
    Shared.VoltageSetpoint = 12500;
    Shared.CurrentSetpoint = 1500;
    QTimer::singleShot(560, form, [&] { // inside the first command's pauses
        EXPECT_GT(line->writes().size(), 0);
        EXPECT_LT(line->writes().size(), 8);
        PressAndHold(*form, 5, 30);
    });
    PressAndHold(*form, 7, 30);
    EXPECT_EQ(pty.readFor(16, 300), QByteArray("125\r151\r125\r161\r"));
    ASSERT_EQ(line->writes().size(), 16);
    for (int i = 1; i < 8; ++i)
        // Not held up by the second press's half-second waits.
        EXPECT_LT(line->writes()[i].atNs - line->writes()[i - 1].atNs, 400 * kMs) << "write " << i;
    ExpectCharactersSpaced();
}

} // namespace
} // namespace velmora
