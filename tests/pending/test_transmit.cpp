// Sending commands to the unit: CTS, one character per write 10 ms apart, one
// command at a time, and what happens when the port is or goes closed.

#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "support/fake_line.h"
#include "support/spacing.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::FakeLine;

constexpr qint64 kMs = 1'000'000;

class Transmit : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetSharedState();
        auto fake = std::make_unique<FakeLine>();
        line = fake.get();
        comm.setLine(std::move(fake));
        ASSERT_TRUE(comm.setPortOpen(true));
    }

    // Each write is one character, and consecutive writes are at least the
    // pause apart.
    void ExpectOneCharacterPerWriteSpaced() const {
        test::ExpectOneCharacterPerWriteSpaced(line->writes());
    }

    SerialComm comm;
    FakeLine* line = nullptr;
};

TEST_F(Transmit, WritesEightCharactersOneAtATimeAndReturnsAfterTheLastPause) {
    const qint64 start = MonotonicNs();
    SendCommand("051\r000\r");
    const qint64 end = MonotonicNs();
    EXPECT_EQ(line->written(), QByteArray("051\r000\r"));
    ASSERT_EQ(line->writes().size(), 8);
    ExpectOneCharacterPerWriteSpaced();
    EXPECT_GE(end - line->writes().last().atNs, 10 * kMs);
    EXPECT_GE(end - start, 80 * kMs);
    EXPECT_EQ(Shared.TransmitIndex, 9);
}

TEST_F(Transmit, ShortTextWritesWhatItHasAndStillTakesEightPauses) {
    const qint64 start = MonotonicNs();
    SendCommand("123456");
    const qint64 end = MonotonicNs();
    EXPECT_EQ(line->written(), QByteArray("123456"));
    EXPECT_EQ(line->writes().size(), 6);
    ExpectOneCharacterPerWriteSpaced();
    EXPECT_GE(end - start, 80 * kMs);
    EXPECT_GE(end - line->writes().last().atNs, 30 * kMs);
}

TEST_F(Transmit, LongTextLosesCharactersNineOn) {
    SendCommand("0123456789");
    EXPECT_EQ(line->written(), QByteArray("01234567"));
    EXPECT_EQ(line->writes().size(), 8);
}

TEST_F(Transmit, EventsAreHandledBeforeTheFirstCharacterEvenWithCtsAsserted) {
    qsizetype writesWhenHandled = -1;
    QMetaObject::invokeMethod(
        &comm, [&] { writesWhenHandled = line->writes().size(); }, Qt::QueuedConnection);
    SendCommand("051\r000\r");
    EXPECT_EQ(writesWhenHandled, 0);
}

TEST_F(Transmit, CtsLowHoldsTheCommandBackWhileEventsAreHandled) {
    line->setCtsAsserted(false);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    qint64 raisedAt = 0;
    QTimer::singleShot(150, [&] {
        EXPECT_TRUE(line->writes().isEmpty());
        raisedAt = MonotonicNs();
        line->setCtsAsserted(true);
    });
    SendCommand("051\r000\r");
    EXPECT_GE(ticks, 5); // the window kept working while the unit was not ready
    ASSERT_NE(raisedAt, 0);
    EXPECT_EQ(line->written(), QByteArray("051\r000\r"));
    EXPECT_GE(line->writes().first().atNs, raisedAt);
}

// CTS is looked at once, before the first character: the unit dropping it
// mid-command does not stop the rest.
TEST_F(Transmit, CtsIsNotTestedBetweenCharacters) {
    QTimer::singleShot(25, [&] { line->setCtsAsserted(false); });
    SendCommand("051\r000\r");
    EXPECT_EQ(line->written(), QByteArray("051\r000\r"));
}

TEST_F(Transmit, ClosedPortDropsTheCommandAtOnce) {
    comm.setPortOpen(false);
    line->setCtsAsserted(false); // waiting for it would never end
    bool returnedFirst = true;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        returnedFirst = false;
        line->setCtsAsserted(true);
        comm.setPortOpen(true);
    });
    guard.start(2000);
    SendCommand("051\r000\r");
    EXPECT_TRUE(returnedFirst);
    EXPECT_TRUE(line->writes().isEmpty());
}

TEST_F(Transmit, NoSerialComponentDropsTheCommand) {
    { SerialComm gone; } // the last one made is the link's; gone, there is none
    ASSERT_EQ(MSComm1(), nullptr);
    SendCommand("051\r000\r");
    EXPECT_TRUE(line->writes().isEmpty());
}

TEST_F(Transmit, PortClosedDuringTheCtsWaitDropsTheCommand) {
    line->setCtsAsserted(false);
    QTimer::singleShot(50, [&] { comm.setPortOpen(false); });
    SendCommand("051\r000\r");
    EXPECT_TRUE(line->writes().isEmpty());
    // The line works again for the next command once reopened.
    ASSERT_TRUE(comm.setPortOpen(true));
    line->setCtsAsserted(true);
    SendCommand("052\r000\r");
    EXPECT_EQ(line->written(), QByteArray("052\r000\r"));
}

TEST_F(Transmit, PortClosedMidCommandDropsTheRest) {
    QTimer::singleShot(35, [&] { comm.setPortOpen(false); });
    SendCommand("051\r000\r");
    EXPECT_GT(line->writes().size(), 0);
    EXPECT_LT(line->writes().size(), 8);
    EXPECT_TRUE(QByteArray("051\r000\r").startsWith(line->written()));
}

// A reset after a spoilt frame reopens the same port: the command goes on.
// Choosing another port mid-command drops the rest, so the new device never
// gets a fragment; the next command reaches it whole.
TEST_F(Transmit, ResetOfThePortGoesOnButAnotherPortGetsNoFragment) {
    QTimer::singleShot(35, [&] {
        comm.setPortOpen(false);
        comm.setPortOpen(true);
    });
    SendCommand("051\r000\r");
    EXPECT_EQ(line->written(), QByteArray("051\r000\r"));

    line->clearWrites();
    QTimer::singleShot(35, [&] {
        comm.setPortOpen(false);
        comm.setCommPort(3);
        comm.setPortOpen(true);
    });
    SendCommand("052\r000\r");
    const QByteArray before = line->written();
    EXPECT_TRUE(QByteArray("052\r000\r").startsWith(before));
    EXPECT_LT(before.size(), 8);
    line->clearWrites();
    SendCommand("053\r000\r");
    EXPECT_EQ(line->written(), QByteArray("053\r000\r"));
}

// A command asked for while another is under way waits its turn; both go out
// whole, the first one first.
TEST_F(Transmit, SecondCommandDuringAPauseGoesOutAfterTheFirst) {
    bool innerReturned = false;
    QTimer::singleShot(25, [&] {
        SendCommand("222\r222\r");
        innerReturned = true;
        EXPECT_EQ(line->written(), QByteArray("111\r111\r222\r222\r"));
    });
    SendCommand("111\r111\r");
    EXPECT_TRUE(innerReturned);
    EXPECT_EQ(line->written(), QByteArray("111\r111\r222\r222\r"));
    ExpectOneCharacterPerWriteSpaced();
    EXPECT_EQ(Shared.TransmitIndex, 9);
}

TEST_F(Transmit, CommandsAskedForDuringTheCtsWaitQueueInOrder) {
    line->setCtsAsserted(false);
    QTimer::singleShot(20, [&] { SendCommand("222\r222\r"); });
    QTimer::singleShot(40, [&] { SendCommand("333\r333\r"); });
    QTimer::singleShot(80, [&] { line->setCtsAsserted(true); });
    SendCommand("111\r111\r");
    EXPECT_EQ(line->written(), QByteArray("111\r111\r222\r222\r333\r333\r"));
    ExpectOneCharacterPerWriteSpaced();
}

// A handler that waits inside one of the pauses (a button held down) does not
// hold the rest of the command back: the characters keep going out.
TEST_F(Transmit, HandlerWaitingInsideAPauseDoesNotStallTheCommand) {
    QByteArray seenAfterNestedWait;
    QTimer::singleShot(15, [&] {
        WaitSeconds(0.3);
        seenAfterNestedWait = line->written();
    });
    SendCommand("051\r000\r");
    EXPECT_EQ(seenAfterNestedWait, QByteArray("051\r000\r"));
    ExpectOneCharacterPerWriteSpaced();
    // The whole command went out within the nested wait.
    EXPECT_LT(line->writes().last().atNs - line->writes().first().atNs, 300 * kMs);
}

// A command held back by CTS has not started: dropping the waiting commands
// takes it too, and every sender returns. (One on the line goes out whole:
// the panel's Zero output tests.)
TEST_F(Transmit, DroppingWaitingCommandsTakesOneHeldBackByCts) {
    line->setCtsAsserted(false);
    bool innerReturned = false;
    QTimer::singleShot(15, [&] {
        SendCommand("222\r222\r");
        innerReturned = true;
    });
    QTimer::singleShot(30, [&] {
        DropWaitingCommands();
        line->setCtsAsserted(true);
    });
    SendCommand("111\r111\r");
    WaitSeconds(0.1);
    EXPECT_TRUE(innerReturned);
    EXPECT_TRUE(line->writes().isEmpty());
}

TEST_F(Transmit, LineWithoutModemLinesCountsAsReady) {
    line->setCts(SerialLine::Cts::NoModemLines);
    SendCommand("051\r000\r");
    EXPECT_EQ(line->written(), QByteArray("051\r000\r"));
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

// A command that cannot go out still handles events and takes its eight
// pauses, so a playback keeps its pace and sees Stop while the line is away.
TEST_F(Transmit, ALostCommandStillHandlesEventsAndTakesItsPauses) {
    for (const bool closedMidway : {false, true}) {
        SCOPED_TRACE(closedMidway ? "closed midway" : "closed before");
        if (closedMidway)
            QTimer::singleShot(25, [&] { comm.setPortOpen(false); });
        else
            comm.setPortOpen(false);
        bool handled = false;
        QMetaObject::invokeMethod(
            &comm, [&] { handled = true; }, Qt::QueuedConnection);
        const qint64 start = MonotonicNs();
        SendCommand("051\r000\r");
        EXPECT_TRUE(handled);
        EXPECT_GE(MonotonicNs() - start, 80 * kMs);
        EXPECT_LT(MonotonicNs() - start, 1000 * kMs);
        EXPECT_LT(line->writes().size(), 8);
        line->clearWrites();
        comm.setPortOpen(true);
    }
}

// Dropping the waiting commands lets the one on the line finish; CommandSent
// tells each command's start.
TEST_F(Transmit, DroppingWaitingCommandsKeepsTheOneOnTheLine) {
    QList<QByteArray> started;
    QObject::connect(&comm, &SerialComm::CommandSent, [&](QByteArray c) { started << c; });
    QTimer::singleShot(20, [&] { SendCommand("222\r222\r"); });
    QTimer::singleShot(30, [&] { SendCommand("333\r333\r"); });
    QTimer::singleShot(45, [&] { DropWaitingCommands(); });
    SendCommand("111\r111\r");
    EXPECT_EQ(line->written(), QByteArray("111\r111\r"));
    EXPECT_EQ(started, QList<QByteArray>{"111\r111\r"});
}

// At the end of the program the command on the line goes out whole, at its
// pace, and nothing after it.
TEST_F(Transmit, FinishingAtTheEndWritesTheRestOfTheCommandOnTheLineOnly) {
    QTimer::singleShot(20, [&] { SendCommand("222\r222\r"); });
    qint64 finishedAfter = 0;
    QTimer::singleShot(35, [&] {
        const qint64 start = MonotonicNs();
        comm.finishCommandOnLine();
        finishedAfter = MonotonicNs() - start;
        EXPECT_EQ(line->written(), QByteArray("111\r111\r"));
    });
    SendCommand("111\r111\r");
    EXPECT_EQ(line->written(), QByteArray("111\r111\r"));
    EXPECT_LE(finishedAfter, 75 * kMs);
    ExpectOneCharacterPerWriteSpaced();
}

} // namespace
} // namespace velmora
