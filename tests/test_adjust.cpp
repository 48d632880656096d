// The eight adjust buttons on the session, on a fake clock: steps and
// bounds, press and hold, release, and the command each release sends.

#include "session/adjust_hold.h"
#include "session/session.h"
#include "support/fake_line.h"
#include "support/session_on_fake_line.h"
#include "support/spacing.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::FakeLine;
using test::SessionOnFakeLine;

constexpr qint64 kMs = 1'000'000;

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
    const std::tuple<int, int, int, int> cases[] = {
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
        EXPECT_EQ(Stepped(Millivolts(setpoint), delta, Millivolts(limit)), Millivolts(after))
            << setpoint << " " << delta << " " << limit;
}

// One command as it went out: its bytes and when its first character did,
// in ms from the moment the test began.
struct Sent {
    qint64 atMs;
    QByteArray bytes;
    friend bool operator==(const Sent&, const Sent&) = default;
};

void PrintTo(const Sent& sent, std::ostream* out) {
    *out << sent.atMs << " ms: " << sent.bytes.toStdString();
}

// What a held button showed, and when.
struct Shown {
    qint64 atMs;
    QString caption;
    friend bool operator==(const Shown&, const Shown&) = default;
};

void PrintTo(const Shown& shown, std::ostream* out) {
    *out << shown.atMs << " ms: " << shown.caption.toStdString();
}

// A session on the fake clock, with what its hold showed and when, and the
// commands cut from the line's writes.
class HoldRun {
  public:
    explicit HoldRun(const QStringList& stored = {}) : s(stored) {
        QObject::connect(&s.session->unit(), &UnitControl::adjustStepped,
                         [this](bool voltage, int value) {
                             shown.append({nowMs(), SetpointCaption(voltage, value)});
                         });
        QObject::connect(&s.session->unit(), &UnitControl::adjustEnded,
                         [this] { ended.append(nowMs()); });
    }

    // The model, the set-points as sent, then the user's limits; the line
    // cleared and the test's time begun after that.
    void startFrom(Model model, qint16 voltage, qint16 current, const UserLimits& user = {}) {
        if (session().unit().model() != model) session().unit().chooseModel(model);
        session().unit().request(SetpointSource::SetValues,
                                 {Millivolts(voltage), Milliamps(current)});
        session().unit().setUserLimits(user);
        s.clock.advanceMs(500);
        s.line->clearWrites();
        shown.clear();
        ended.clear();
        startNs_ = s.clock.monotonicNs();
    }

    Session& session() { return *s.session; }
    qint64 nowMs() const { return (s.clock.monotonicNs() - startNs_) / kMs; }
    void advanceTo(qint64 ms) { s.clock.advance(startNs_ + ms * kMs - s.clock.monotonicNs()); }

    QList<Sent> commands() const {
        QList<Sent> out;
        const QList<FakeLine::Write>& writes = s.line->writes();
        for (qsizetype i = 0; i < writes.size(); ++i) {
            if (i % 8 == 0) out.append(Sent{(writes[i].atNs - startNs_) / kMs, {}});
            out.last().bytes += writes[i].bytes;
        }
        return out;
    }

    SessionOnFakeLine s;
    QList<Shown> shown;
    QList<qint64> ended;

  private:
    qint64 startNs_ = s.clock.monotonicNs();
};

class AdjustSession : public ::testing::Test, public HoldRun {
  protected:
    AdjustSession() = default;
    explicit AdjustSession(const QStringList& stored) : HoldRun(stored) {}
};

TEST_F(AdjustSession, StepsAtOnceThenEveryHalfSecondAndSendsHalfASecondAfterTheRelease) {
    startFrom(Model::Small1A20V, 0, 0);
    session().unit().pressAdjust(1);
    advanceTo(1200);
    EXPECT_TRUE(session().unit().adjusting());
    session().unit().releaseAdjust();
    EXPECT_FALSE(session().unit().adjusting());
    advanceTo(1699);
    EXPECT_TRUE(ended.isEmpty()) << "the read-out stays for half a second";
    EXPECT_TRUE(s.line->writes().isEmpty());
    advanceTo(3000);
    EXPECT_EQ(shown, QList<Shown>({{0, "01000mV"}, {500, "02000mV"}, {1000, "03000mV"}}));
    EXPECT_EQ(ended, QList<qint64>{1700});
    EXPECT_EQ(commands(), QList<Sent>({{1700, "030\r000\r"}}));
    EXPECT_EQ(session().unit().setpoints(), (Setpoints{Millivolts(3000), Milliamps(0)}));
    test::ExpectOneCharacterPerWriteSpaced(s.line->writes());
}

TEST_F(AdjustSession, ReleaseDuringThePressHalfSecondTakesNoFurtherStep) {
    startFrom(Model::Small1A20V, 0, 0);
    session().unit().pressAdjust(3);
    advanceTo(499);
    session().unit().releaseAdjust();
    advanceTo(3000);
    EXPECT_EQ(shown, QList<Shown>({{0, "00100mV"}}));
    EXPECT_EQ(commands(), QList<Sent>({{999, "001\r000\r"}}));
}

TEST_F(AdjustSession, MinusTenTwiceFromTenStopsAtZeroAndEveryReleaseSends) {
    startFrom(Model::Small1A20V, 0, 10);
    for (const qint64 at : {0, 1000}) {
        advanceTo(at);
        session().unit().pressAdjust(8);
        advanceTo(at + 30);
        session().unit().releaseAdjust();
    }
    advanceTo(3000);
    EXPECT_EQ(shown, QList<Shown>({{0, "0000mA"}, {1000, "0000mA"}}));
    EXPECT_EQ(commands(), QList<Sent>({{530, "000\r000\r"}, {1530, "000\r000\r"}}));
}

TEST_F(AdjustSession, ReleaseWithNoPressRunningStillSends) {
    startFrom(Model::Large2A5_25V, 12500, 1500);
    session().unit().releaseAdjust();
    advanceTo(1000);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(ended, QList<qint64>{500});
    EXPECT_EQ(commands(), QList<Sent>({{500, "125\r150\r"}}));
}

// A press during the half second after a release: each release sends the
// set-points as they are when it comes due, at its own time.
TEST_F(AdjustSession, PressDuringTheWaitAfterAReleaseSendsTwoCommands) {
    startFrom(Model::Small1A20V, 5000, 0);
    session().unit().pressAdjust(3);
    advanceTo(30);
    session().unit().releaseAdjust();
    advanceTo(250);
    EXPECT_TRUE(s.line->writes().isEmpty());
    session().unit().pressAdjust(3);
    advanceTo(300);
    session().unit().releaseAdjust();
    advanceTo(2000);
    EXPECT_EQ(shown, QList<Shown>({{0, "05100mV"}, {250, "05200mV"}}));
    EXPECT_EQ(ended, QList<qint64>({530, 800}));
    EXPECT_EQ(commands(), QList<Sent>({{530, "052\r000\r"}, {800, "052\r000\r"}}));
}

// A release that comes due while a later hold runs does not cut into it: the
// read-out stays, and it goes out with the later hold's own release.
TEST_F(AdjustSession, ReleaseDueDuringALaterHoldWaitsForThatHoldsRelease) {
    startFrom(Model::Small1A20V, 5000, 0);
    session().unit().pressAdjust(3);
    advanceTo(30);
    session().unit().releaseAdjust();
    advanceTo(250);
    session().unit().pressAdjust(3);
    advanceTo(900);
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_TRUE(s.line->writes().isEmpty());
    session().unit().releaseAdjust();
    advanceTo(3000);
    EXPECT_EQ(shown, QList<Shown>({{0, "05100mV"}, {250, "05200mV"}, {750, "05300mV"}}));
    EXPECT_EQ(ended, QList<qint64>({1400, 1400}));
    EXPECT_EQ(commands(), QList<Sent>({{1400, "053\r000\r"}, {1480, "053\r000\r"}}));
}

class AdjustWithNoModel : public AdjustSession {
  protected:
    AdjustWithNoModel() : AdjustSession({"Netzteil/NLI=0"}) {}
};

TEST_F(AdjustWithNoModel, ReleaseGivesTheMessageAndSendsNothing) {
    ASSERT_EQ(session().unit().model(), Model::None);
    session().unit().pressAdjust(3);
    advanceTo(30);
    session().unit().releaseAdjust();
    advanceTo(2000);
    EXPECT_EQ(shown, QList<Shown>({{0, "00100mV"}})); // the button still stepped
    EXPECT_EQ(ended, QList<qint64>{530});
    EXPECT_EQ(s.said, QList<test::Said>({{"Error:", "Power supply version is not defined."}}));
    EXPECT_TRUE(s.line->writes().isEmpty());
}

// Every button at its bounds: the model's limits and the user's own stop a
// step the same way, without clamping.
TEST(AdjustBounds, StepsShowsAndSends) {
    struct Case {
        const char* name;
        Model model;
        qint16 voltage;
        qint16 current;
        int button;
        qint16 voltageAfter;
        qint16 currentAfter;
        const char* caption;
        QByteArray command;
        UserLimits user = {};
    };
    const Case cases[] = {
        {"Large24500PlusOneVoltStays", Model::Large2A5_25V, 24500, 0, 1, 24500, 0, "24500mV",
         "245\r000\r"},
        {"Large24500PlusTenth", Model::Large2A5_25V, 24500, 0, 3, 24600, 0, "24600mV",
         "246\r000\r"},
        {"Large24000PlusOneVoltReachesLimit", Model::Large2A5_25V, 24000, 0, 1, 25000, 0, "25000mV",
         "250\r000\r"},
        {"Small20000PlusTenthStays", Model::Small1A20V, 20000, 0, 3, 20000, 0, "20000mV",
         "200\r000\r"},
        {"Small500MinusOneVoltStays", Model::Small1A20V, 500, 0, 2, 500, 0, "00500mV",
         "005\r000\r"},
        {"Small500MinusTenth", Model::Small1A20V, 500, 0, 4, 400, 0, "00400mV", "004\r000\r"},
        {"Small0MinusTenthStays", Model::Small1A20V, 0, 0, 4, 0, 0, "00000mV", "000\r000\r"},
        {"Small950PlusHundredMilliampsStays", Model::Small1A20V, 0, 950, 5, 0, 950, "0950mA",
         "000\r190\r"},
        {"Small950PlusTen", Model::Small1A20V, 0, 950, 7, 0, 960, "0960mA", "000\r192\r"},
        {"Small50MinusHundredStays", Model::Small1A20V, 0, 50, 6, 0, 50, "0050mA", "000\r010\r"},
        {"Large1500MinusHundred", Model::Large2A5_25V, 12500, 1500, 6, 12500, 1400, "1400mA",
         "125\r140\r"},
        {"Large2500PlusTenStays", Model::Large2A5_25V, 0, 2500, 7, 0, 2500, "2500mA", "000\r250\r"},
        {"Small10MinusTen", Model::Small1A20V, 0, 10, 8, 0, 0, "0000mA", "000\r000\r"},
        {"OwnLimit12000PlusOneVoltFrom11500Stays",
         Model::Large2A5_25V,
         11500,
         0,
         1,
         11500,
         0,
         "11500mV",
         "115\r000\r",
         {Millivolts(12000), {}}},
        {"OwnLimit12000PlusOneVoltFrom11000Reaches",
         Model::Large2A5_25V,
         11000,
         0,
         1,
         12000,
         0,
         "12000mV",
         "120\r000\r",
         {Millivolts(12000), {}}},
        {"OwnLimit500PlusTenFrom500Stays",
         Model::Small1A20V,
         0,
         500,
         7,
         0,
         500,
         "0500mA",
         "000\r100\r",
         {{}, Milliamps(500)}},
        // A limit set below the set-point lowers it; the buttons go on from there.
        {"OwnLimitBelowTheSetpointLowersItThenStepsDown",
         Model::Small1A20V,
         15000,
         0,
         2,
         9000,
         0,
         "09000mV",
         "090\r000\r",
         {Millivolts(10000), {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HoldRun run;
        run.startFrom(c.model, c.voltage, c.current, c.user);
        run.session().unit().pressAdjust(c.button);
        run.advanceTo(40);
        run.session().unit().releaseAdjust();
        run.advanceTo(1000);
        EXPECT_EQ(run.session().unit().setpoints(),
                  (Setpoints{Millivolts(c.voltageAfter), Milliamps(c.currentAfter)}));
        EXPECT_EQ(run.shown, QList<Shown>({{0, QString::fromLatin1(c.caption)}}));
        EXPECT_EQ(run.commands(), QList<Sent>({{540, c.command}}));
        EXPECT_FALSE(run.session().unit().adjusting());
    }
}

} // namespace
} // namespace velmora
