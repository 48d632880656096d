// Sending commands to the unit: CTS, one character per write 10 ms apart, one
// command at a time, how each command ends, and what happens when the port
// is or goes closed. On a fake clock: every moment is exact and nothing sleeps.

#include "link/serial_link.h"
#include "support/fake_clock.h"
#include "support/fake_line.h"
#include "support/session_on_fake_line.h"
#include "support/spacing.h"

#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::FakeClock;
using test::FakeLine;

// Any name does on a FakeLine.
constexpr char kDevice[] = "/dev/velmora-fake-unit";

const char* EndName(CommandEnd end) {
    switch (end) {
    case CommandEnd::Sent:
        return "Sent";
    case CommandEnd::Lost:
        return "Lost";
    case CommandEnd::Dropped:
        return "Dropped";
    }
    return "?";
}

/// How one command ended, and when (ms after the test's start).
struct Ended {
    QByteArray command;
    CommandEnd end;
    qint64 atMs;
    friend bool operator==(const Ended&, const Ended&) = default;
    friend void PrintTo(const Ended& e, std::ostream* os) {
        *os << '{' << e.command.toHex(' ').constData() << ", " << EndName(e.end) << ", " << e.atMs
            << " ms}";
    }
};

class Transmit : public ::testing::Test {
  protected:
    void SetUp() override {
        link.openPort(2, QString::fromLatin1(kDevice));
        ASSERT_TRUE(link.isOpen());
        QObject::connect(&link, &SerialLink::commandStarted,
                         [this](const QByteArray& c) { started << c; });
    }

    qint64 nowMs() const { return (clock.monotonicNs() - startNs) / kNsPerMs; }
    /// Asks for the command; its end is noted in `ended`.
    void send(const QByteArray& command) {
        link.send(command, [this, command](CommandEnd end) {
            ended.append({command, end, nowMs()});
        });
    }
    /// Runs `action` `ms` after the test's start, as an event would.
    void at(qint64 ms, std::function<void()> action) {
        actions.push_back(std::make_unique<Timer>(clock, std::move(action)));
        actions.back()->startAt(startNs + ms * kNsPerMs);
    }
    /// The moments of the writes so far, in ms after the test's start.
    QList<qint64> writeTimesMs() const {
        QList<qint64> out;
        for (const FakeLine::Write& w : line->writes())
            out << (w.atNs - startNs) / kNsPerMs;
        return out;
    }
    void runFor(qint64 ms) { clock.advanceMs(ms); }

    FakeClock clock;
    const qint64 startNs = clock.monotonicNs();
    FakeLine* line = new FakeLine(&clock);
    SerialLink link{clock, std::unique_ptr<SerialLine>(line)};
    QList<Ended> ended;
    QList<QByteArray> started;
    std::vector<std::unique_ptr<Timer>> actions;
};

const QList<qint64> kEightCharacterTimes{0, 10, 20, 30, 40, 50, 60, 70};

// A text of any length takes the eight positions' pauses; characters 9 on
// are not sent.
TEST_F(Transmit, EightPositionsTenMillisecondsApartThenSent) {
    const struct {
        const char* name;
        QByteArray text;
        QByteArray written;
    } cases[] = {
        {"a set-point command", "051\r000\r", "051\r000\r"},
        {"a short text writes what it has", "123456", "123456"},
        {"a long text loses characters nine on", "0123456789", "01234567"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        line->clearWrites();
        ended.clear();
        const qint64 from = nowMs();
        send(c.text);
        runFor(200);
        EXPECT_EQ(line->written(), c.written);
        QList<qint64> times;
        for (const qint64 t : writeTimesMs())
            times << t - from;
        EXPECT_EQ(times, kEightCharacterTimes.mid(0, c.written.size()));
        test::ExpectOneCharacterPerWriteSpaced(line->writes());
        EXPECT_EQ(ended, (QList<Ended>{{c.text, CommandEnd::Sent, from + 80}}));
    }
}

// The first character goes out at the next turn at the earliest: the asking
// call returns with nothing written, and events already waiting come first.
TEST_F(Transmit, TheFirstCharacterDoesNotGoOutWithinTheAskingCall) {
    send("051\r000\r");
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_TRUE(started.isEmpty());
    clock.settle();
    EXPECT_EQ(line->written(), "0");
    EXPECT_EQ(started, QList<QByteArray>{"051\r000\r"});
}

// On the real clock, with the event loop: an event posted before the asking
// call is handled before the first character, CTS asserted or not.
TEST(TransmitOnTheRealClock, EventsAlreadyWaitingAreHandledBeforeTheFirstCharacter) {
    RealClock clock;
    FakeLine* line = new FakeLine;
    SerialLink link(clock, std::unique_ptr<SerialLine>(line));
    link.openPort(2, QString::fromLatin1(kDevice));
    qsizetype writesWhenHandled = -1;
    QMetaObject::invokeMethod(
        &link, [&] { writesWhenHandled = line->writes().size(); }, Qt::QueuedConnection);
    bool sent = false;
    link.send("051\r000\r", [&](CommandEnd end) { sent = end == CommandEnd::Sent; });
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return sent; }, 3000));
    EXPECT_EQ(writesWhenHandled, 0);
    EXPECT_EQ(line->written(), "051\r000\r");
    test::ExpectOneCharacterPerWriteSpaced(line->writes());
}

// CTS low holds the command back for as long as it stays low; it is looked
// at every 2 ms, and only before the first character.
TEST_F(Transmit, CtsLowHoldsTheCommandBackWithNoTimeLimit) {
    line->setCtsAsserted(false);
    send("051\r000\r");
    runFor(60'000);
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_FALSE(link.idle());
    line->setCtsAsserted(true);
    const qint64 raisedAt = nowMs();
    runFor(2);
    ASSERT_EQ(line->writes().size(), 1);
    EXPECT_LE(writeTimesMs().first() - raisedAt, 2);
    // The unit dropping CTS mid-command does not hold back the rest.
    line->setCtsAsserted(false);
    runFor(100);
    EXPECT_EQ(line->written(), "051\r000\r");
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended[0].end, CommandEnd::Sent);
}

TEST_F(Transmit, ALineWithoutModemLinesCountsAsReady) {
    line->setCts(SerialLine::Cts::NoModemLines);
    send("051\r000\r");
    runFor(100);
    EXPECT_EQ(line->written(), "051\r000\r");
    EXPECT_EQ(ended, (QList<Ended>{{"051\r000\r", CommandEnd::Sent, 80}}));
}

// A command that cannot go out whole is lost, and its end still comes only
// after its eight pauses from when it was asked for, so a playback keeps its
// pace while the line is away. The line works again once reopened.
TEST_F(Transmit, APortClosedBeforeOrDuringACommandLosesWhatIsLeft) {
    const struct {
        const char* name;
        bool ctsLow;
        qint64 closeAtMs; // -1: closed before asking
        QByteArray written;
    } cases[] = {
        {"closed before", false, -1, ""},
        {"closed before, CTS low: waiting for it would never end", true, -1, ""},
        {"closed during the CTS wait", true, 30, ""},
        {"closed after the third character", false, 25, "051"},
        {"closed after the first character", false, 5, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        line->clearWrites();
        ended.clear();
        started.clear();
        line->setCtsAsserted(!c.ctsLow);
        const qint64 from = nowMs();
        if (c.closeAtMs < 0)
            link.closePort();
        else
            at(from + c.closeAtMs, [this] { link.closePort(); });
        send("051\r000\r");
        runFor(79);
        EXPECT_TRUE(ended.isEmpty());
        runFor(200);
        EXPECT_EQ(line->written(), c.written);
        EXPECT_EQ(started.size(), c.written.isEmpty() ? 0 : 1);
        EXPECT_EQ(ended, (QList<Ended>{{"051\r000\r", CommandEnd::Lost, from + 80}}));
        EXPECT_TRUE(link.idle());

        line->clearWrites();
        line->setCtsAsserted(true);
        link.openPort(2, QString::fromLatin1(kDevice));
        send("052\r000\r");
        runFor(100);
        EXPECT_EQ(line->written(), "052\r000\r");
    }
}

// A spoilt block reopens the same port and the command goes on. Another
// port, or another device, chosen mid-command waits for the command to go out
// whole on the line it began on; the next command goes to the new one.
TEST_F(Transmit, APortChangeWaitsForTheCommandOnTheLine) {
    const QString here = QString::fromLatin1(kDevice), other = "/dev/velmora-other";
    const struct {
        const char* name;
        std::function<void(SerialLink&, FakeLine&)> change;
        qint16 port;
        QString device;
    } cases[] = {
        {"a spoilt block", [](SerialLink&, FakeLine& l) { l.feed("not a frame!"); }, 2, here},
        {"the same port chosen again", [&](SerialLink& k, FakeLine&) { k.openPort(2, here); }, 2,
         here},
        {"another port", [&](SerialLink& k, FakeLine&) { k.openPort(3, here); }, 3, here},
        {"another device", [&](SerialLink& k, FakeLine&) { k.openPort(2, other); }, 2, other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        link.openPort(2, here);
        line->clearWrites();
        ended.clear();
        const qint64 from = nowMs();
        at(from + 35, [&] { c.change(link, *line); });
        send("051\r000\r");
        runFor(200);
        ASSERT_TRUE(link.isOpen());
        EXPECT_EQ(line->written(), "051\r000\r");
        for (const FakeLine::Write& w : line->writes())
            EXPECT_EQ(w.device, here);
        EXPECT_EQ(ended, (QList<Ended>{{"051\r000\r", CommandEnd::Sent, from + 80}}));
        EXPECT_EQ(link.port(), c.port);
        EXPECT_EQ(line->openedDevice(), c.device);
        line->clearWrites();
        send("053\r000\r");
        runFor(100);
        EXPECT_EQ(line->written(), "053\r000\r");
        EXPECT_EQ(line->writes().last().device, c.device);
    }
}

// Commands asked for while another is going out, or held back by CTS, go
// out after it, whole, in the order asked, each 80 ms after the one before.
TEST_F(Transmit, CommandsAskedForMeanwhileGoOutAfterItWholeInOrder) {
    for (const bool ctsLow : {false, true}) {
        SCOPED_TRACE(ctsLow ? "asked during the CTS wait" : "asked during the pauses");
        line->clearWrites();
        ended.clear();
        const qint64 from = nowMs();
        line->setCtsAsserted(!ctsLow);
        at(from + 25, [&] { send("222\r222\r"); });
        at(from + 40, [&] { send("333\r333\r"); });
        const qint64 firstAt = ctsLow ? 80 : 0;
        if (ctsLow) at(from + firstAt, [&] { line->setCtsAsserted(true); });
        send("111\r111\r");
        runFor(400);
        EXPECT_EQ(line->written(), "111\r111\r222\r222\r333\r333\r");
        test::ExpectOneCharacterPerWriteSpaced(line->writes());
        EXPECT_EQ(ended, (QList<Ended>{{"111\r111\r", CommandEnd::Sent, from + firstAt + 80},
                                       {"222\r222\r", CommandEnd::Sent, from + firstAt + 160},
                                       {"333\r333\r", CommandEnd::Sent, from + firstAt + 240}}));
    }
}

// A command's end may ask for the next one: it follows at once, 10 ms after
// the last character, as a playback's records do.
TEST_F(Transmit, ACommandAskedForAtTheEndOfAnotherFollowsAtItsPace) {
    link.send("111\r111\r", [this](CommandEnd) { send("222\r222\r"); });
    runFor(200);
    EXPECT_EQ(line->written(), "111\r111\r222\r222\r");
    EXPECT_EQ(writeTimesMs().mid(7, 2), (QList<qint64>{70, 80}));
    EXPECT_EQ(ended, (QList<Ended>{{"222\r222\r", CommandEnd::Sent, 160}}));
}

// Dropping the waiting commands (Zero output) ends them at once as Dropped;
// the one on the line goes on and is sent whole. CommandSent tells only the
// commands that started.
TEST_F(Transmit, DroppingWaitingCommandsKeepsTheOneOnTheLine) {
    at(20, [&] { send("222\r222\r"); });
    at(30, [&] { send("333\r333\r"); });
    at(45, [&] {
        link.dropWaiting();
        EXPECT_EQ(ended, (QList<Ended>{{"222\r222\r", CommandEnd::Dropped, 45},
                                       {"333\r333\r", CommandEnd::Dropped, 45}}));
    });
    send("111\r111\r");
    runFor(300);
    EXPECT_EQ(line->written(), "111\r111\r");
    EXPECT_EQ(started, QList<QByteArray>{"111\r111\r"});
    EXPECT_EQ(ended, (QList<Ended>{{"222\r222\r", CommandEnd::Dropped, 45},
                                   {"333\r333\r", CommandEnd::Dropped, 45},
                                   {"111\r111\r", CommandEnd::Sent, 80}}));
}

// A command held back by CTS has not started: dropping takes it too.
TEST_F(Transmit, DroppingWaitingCommandsTakesOneHeldBackByCts) {
    line->setCtsAsserted(false);
    send("111\r111\r");
    at(15, [&] { send("222\r222\r"); });
    at(30, [&] {
        link.dropWaiting();
        line->setCtsAsserted(true);
    });
    runFor(300);
    EXPECT_TRUE(line->writes().isEmpty());
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(ended, (QList<Ended>{{"111\r111\r", CommandEnd::Dropped, 30},
                                   {"222\r222\r", CommandEnd::Dropped, 30}}));
}

// whenCommandsIdle: at the next turn when nothing is queued, else once the
// last command has ended (dropped ones at once, the one on the line whole).
TEST_F(Transmit, WhenCommandsIdleComesOnceTheQueueHasRunDry) {
    QList<qint64> idleAt;
    const auto noteIdle = [&] { idleAt << nowMs(); };
    link.whenIdle(noteIdle);
    EXPECT_TRUE(idleAt.isEmpty());
    clock.settle();
    EXPECT_EQ(idleAt, QList<qint64>{0});

    idleAt.clear();
    send("111\r111\r");
    send("222\r222\r");
    link.whenIdle(noteIdle);
    runFor(300);
    EXPECT_EQ(idleAt, QList<qint64>{160});

    idleAt.clear();
    const qint64 from = nowMs();
    send("333\r333\r");
    send("444\r444\r");
    at(from + 25, [&] {
        link.dropWaiting();
        link.whenIdle(noteIdle);
    });
    runFor(300);
    EXPECT_EQ(idleAt, QList<qint64>{from + 80});
    EXPECT_EQ(line->written().right(8), "333\r333\r");
    EXPECT_TRUE(link.idle());
}

// At the end of the program the command on the line goes out whole, at its
// pace, and nothing after it; the session has ended once it is out.
TEST(TransmitAtTheEnd, TheCommandOnTheLineGoesOutWholeAndNothingAfterIt) {
    test::SessionOnFakeLine f;
    Session& session = *f.session;
    QList<qint64> endedAt;
    QObject::connect(&session, &Session::ended,
                     [&] { endedAt << f.clock.monotonicNs() / kNsPerMs; });
    const qint64 startMs = f.clock.monotonicNs() / kNsPerMs;
    ASSERT_EQ(session.unit()
                  .request(SetpointSource::SetValues, {Millivolts(5100), Milliamps(500)})
                  .verdict,
              DoorAnswer::Verdict::Queued);
    f.clock.advanceMs(20);
    ASSERT_EQ(session.unit()
                  .request(SetpointSource::SetValues, {Millivolts(5200), Milliamps(500)})
                  .verdict,
              DoorAnswer::Verdict::Queued);
    f.clock.advanceMs(15);
    session.shutdown();
    EXPECT_EQ(session.unit()
                  .request(SetpointSource::SetValues, {Millivolts(5300), Milliamps(500)})
                  .verdict,
              DoorAnswer::Verdict::Ending);
    f.clock.advanceMs(1000);
    EXPECT_EQ(f.written(), "051\r100\r");
    test::ExpectOneCharacterPerWriteSpaced(f.line->writes());
    ASSERT_EQ(endedAt.size(), 1);
    EXPECT_EQ(endedAt[0] - startMs, 80);
    EXPECT_FALSE(session.unit().linkOpen());
}

} // namespace
} // namespace velmora
