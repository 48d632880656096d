// The receive handler: frames from the unit in the measurements, the
// history and the record file with one arrival time, the port reset on a bad
// frame, the panel's heartbeat, and the frame boundary after a reset.

#include "link/frame_sync.h"
#include "panel/form1.h"
#include "recording/record_format.h"
#include "session/session.h"
#include "support/panel_on_fake_line.h"
#include "support/panel_on_pty.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"
#include "support/wait_until.h"
#include "unit/command.h"
#include "unit/measurement.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <string_view>
#include <thread>

using namespace std::literals;

namespace velmora {
namespace {

QByteArray Bytes(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}
QString Text(std::string_view text) {
    return QString::fromLatin1(Bytes(text));
}

struct FrameCase {
    const char* name;
    std::string_view block;
    bool valid;
    std::string_view voltage; // expected texts when valid
    std::string_view current;
    std::optional<Values> values = {}; // digits at every value place: the history takes it
};

// Separate literals keep a NUL from swallowing the digits after it as octal.
const FrameCase kFrames[] = {
    {"example", "D?123??045??"sv, true, "12,3V"sv, "0,45A"sv, Values{123, 45}},
    {"unexamined positions hold anything",
     "D\xff"
     "987\r\n"
     "654"
     "D\x01"sv,
     true, "98,7V"sv, "6,54A"sv, Values{987, 654}},
    {"spaces everywhere else", "D 000  000  "sv, true, "00,0V"sv, "0,00A"sv, Values{0, 0}},
    {"letters shown as they are", "DxABCxxXYZxx"sv, true, "AB,CV"sv, "X,YZA"sv},
    {"NUL bytes where nothing is read",
     "D\0"
     "123\0\0"
     "045\0\0"sv,
     true, "12,3V"sv, "0,45A"sv, Values{123, 45}},
    {"NUL bytes at value positions",
     "D?\0"
     "2\0"
     "??\0"
     "4\0"
     "??"sv,
     true,
     "\0"
     "2,\0"
     "V"sv,
     "\0"
     ",4\0"
     "A"sv},
    {"Latin-1 characters",
     "D?\xb5"
     "12??\xe4"
     "00??"sv,
     true,
     "\xb5"
     "1,2V"sv,
     "\xe4"
     ",00A"sv},
    {"11 characters", "D?123??045?"sv, false, {}, {}},
    {"13 characters", "D?123??045???"sv, false, {}, {}},
    {"24 characters: two frames", "D?123??045??D?124??046??"sv, false, {}, {}},
    {"lower-case d", "d?123??045??"sv, false, {}, {}},
    {"D not first", "?D123??045??"sv, false, {}, {}},
    {"NUL first",
     "\0"
     "?123??045??D"sv,
     false,
     {},
     {}},
    {"empty", ""sv, false, {}, {}},
};

TEST(ParseFrame, TableOfBlocks) {
    const QDateTime at(QDate(2027, 3, 28), QTime(12, 30, 1, 250));
    for (const FrameCase& c : kFrames) {
        SCOPED_TRACE(c.name);
        const std::optional<Measurement> m =
            ParseFrame(Bytes(c.block), 123'456'789, at.toMSecsSinceEpoch());
        ASSERT_EQ(m.has_value(), c.valid);
        if (!m) continue;
        EXPECT_EQ(m->voltageText, Text(c.voltage));
        EXPECT_EQ(m->currentText, Text(c.current));
        EXPECT_EQ(m->text(), Text(c.voltage) + Text(c.current));
        EXPECT_EQ(m->values, c.values);
        EXPECT_EQ(m->atNs, 123'456'789);
        EXPECT_EQ(m->at(), at);
    }
}

using test::SessionOnFakeLine;

/// A session on a FakeLine, its measurements kept as they came.
struct Receiving : SessionOnFakeLine {
    Receiving() {
        QObject::connect(session.get(), &Session::measured,
                         [this](const Measurement& m) { measured << m; });
    }
    bool linkOpen() const { return session->unit().linkOpen(); }
    QString lastText() const {
        return session->lastMeasurement() ? session->lastMeasurement()->text() : QString();
    }
    QList<Measurement> measured;
};

TEST(ReceiveHandler, TableOfBlocksThroughTheHandler) {
    for (const FrameCase& c : kFrames) {
        if (c.block.empty()) continue; // no event; and with the next 12 a valid frame
        SCOPED_TRACE(c.name);
        Receiving f;
        ASSERT_TRUE(f.linkOpen());
        // Fewer than 12 characters raise no event; the next characters then
        // make the block too long.
        f.line->feed(Bytes(c.block));
        if (c.block.size() < 12) f.line->feed("D?999??999??");
        f.clock.settle();
        EXPECT_TRUE(f.linkOpen());
        EXPECT_TRUE(f.line->waiting().isEmpty());
        if (c.valid) {
            ASSERT_EQ(f.measured.size(), 1);
            EXPECT_EQ(f.measured[0].voltageText, Text(c.voltage));
            EXPECT_EQ(f.measured[0].currentText, Text(c.current));
            EXPECT_EQ(f.lastText(), Text(c.voltage) + Text(c.current));
            EXPECT_EQ(f.line->opens(), 0);
            ASSERT_EQ(f.session->history().size(), c.values ? 1 : 0);
            if (c.values) {
                EXPECT_EQ(f.session->history().last()->values, *c.values);
            }
        } else {
            EXPECT_TRUE(f.measured.isEmpty());
            EXPECT_EQ(f.session->history().size(), 0);
            EXPECT_FALSE(f.session->lastMeasurement().has_value());
            // The port is reset: closed and opened again.
            EXPECT_EQ(f.line->closes(), 1);
            EXPECT_EQ(f.line->opens(), 1);
        }
        EXPECT_TRUE(f.said.isEmpty());
    }
}

// What goes out is drawn as the set-points of the model in force then.
TEST(ReceiveHandler, CommandsGoingOutAreSetpointsOfTheModelInForce) {
    Receiving f;
    const auto ask = [&](int mv, int ma) {
        f.session->unit().request(SetpointSource::SetValues, {Millivolts(mv), Milliamps(ma)});
        f.clock.advanceMs(100);
    };
    ask(12300, 615);
    f.session->unit().chooseModel(Model::Large2A5_25V); // both 0, and the unit told so
    f.clock.advanceMs(100);
    ask(5000, 1000);
    EXPECT_EQ(f.written(), "123\r123\r000\r000\r050\r100\r");
    const auto& steps = f.session->history().setpoints();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].setpoints, (Setpoints{Millivolts(12300), Milliamps(615)}));
    EXPECT_EQ(steps[1].setpoints, Setpoints{});
    EXPECT_EQ(steps[2].setpoints, (Setpoints{Millivolts(5000), Milliamps(1000)}));
    EXPECT_EQ(steps[2].ms - steps[0].ms, 200);
}

// Each valid frame is measured; one that repeats the last texts is not
// recorded again. Right after a reset the port drops what comes (the rest of
// a cut frame) until its deaf time has passed.
TEST(ReceiveHandler, MeasurementsAndRecordsOverASequence) {
    Receiving f;
    QTemporaryDir dir;
    ASSERT_TRUE(f.session->startRecording(dir.filePath("run.log")).started);
    struct Step {
        QByteArray block;
        bool measured;
        const char* last;
        bool settle = false; // let the deaf time after a reset pass first
    };
    const Step steps[] = {
        {"D?123??045??", true, "12,3V0,45A"},
        {"D?123??045??", true, "12,3V0,45A"},
        {"X?999??999??", false, "12,3V0,45A"},
        {"D?125??045??", false, "12,3V0,45A"},
        {"D?124??045??", true, "12,4V0,45A", true},
        {"D?124??045?", false, "12,4V0,45A"}, // no event yet: 11 characters
        {"?", true, "12,4V0,45A"},            // 12 now: the frame came in two pieces
        {"D?124??045??D", false, "12,4V0,45A"},
        {"D?126??045??", true, "12,6V0,45A", true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.block.constData());
        if (s.settle) f.clock.advanceMs(40);
        const qsizetype before = f.measured.size();
        f.line->feed(s.block);
        f.clock.settle();
        EXPECT_EQ(f.measured.size() - before, s.measured ? 1 : 0);
        EXPECT_EQ(f.lastText(), QString(s.last));
    }
    f.session->stopRecording();
    QFile record(dir.filePath("run.log"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    QStringList recorded;
    for (const QByteArray& line : record.readAll().split('\n'))
        if (const auto r = ParseRecord(line.trimmed())) recorded << r->voltageText + r->currentText;
    EXPECT_EQ(recorded, QStringList({"12.3V0.45A", "12.4V0.45A", "12.6V0.45A"}));
    EXPECT_EQ(f.session->history().size(), 5);
}

// One frame, one arrival: the measurement, the history and the record file
// all carry the same moment (here just before a second turns).
TEST(ReceiveHandler, TheRecordAndTheHistoryGetTheSameTimeForOneFrame) {
    const QDateTime start(QDate(2027, 10, 31), QTime(2, 59, 59, 999));
    Receiving f;
    f.clock.setLocalNow(start);
    QTemporaryDir dir;
    ASSERT_TRUE(f.session->startRecording(dir.filePath("run.log")).started);
    const qint64 arrivalNs = f.clock.monotonicNs();
    f.line->feed("D?123??045??");
    f.clock.advanceMs(5);
    f.session->stopRecording();
    ASSERT_EQ(f.measured.size(), 1);
    EXPECT_EQ(f.measured[0].at(), start);
    EXPECT_EQ(f.measured[0].atNs, arrivalNs);
    ASSERT_TRUE(f.session->history().last().has_value());
    EXPECT_EQ(f.session->history().last()->ms, start.toMSecsSinceEpoch());
    QFile record(dir.filePath("run.log"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.readAll(), FormatRecord(start, "12,3V", "0,45A"));
    EXPECT_EQ(FormatStamp(start), "#2027-10-31 02:59:59#");
}

TEST(ReceiveHandler, FailedReopenLeavesThePortClosed) {
    Receiving f;
    f.line->setOpenSucceeds(false);
    f.line->feed("D?123??045?");
    f.line->feed("?D");
    f.clock.settle();
    EXPECT_FALSE(f.linkOpen());
    f.line->feed("D?123??045??"); // nothing arrives on a closed port
    f.clock.advanceMs(100);
    EXPECT_TRUE(f.measured.isEmpty());
    EXPECT_NE(f.session->unit().linkStatus().state, LinkState::Open);
    EXPECT_TRUE(f.said.isEmpty());
}

// The panel shows each measurement: the read-outs (also while hidden behind
// a set-point read-out) and the heartbeat, which toggles with every valid
// frame.
TEST(ReceiveOnThePanel, ReadoutsAndTheHeartbeatFollowEachValidFrame) {
    test::PanelOnFakeLine p;
    const struct {
        QByteArray block;
        const char* heartbeat;
        const char* voltage;
    } steps[] = {
        {"D?123??045??", "*", "12,3V"},
        {"D?123??045??", "", "12,3V"},
        {"D?124??045??", "*", "12,4V"},
        {"X?999??999??", "*", "12,4V"}, // a spoilt block: no beat
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.block.constData());
        p.line->feed(s.block);
        EXPECT_EQ(p.form.Label17.caption(), QString(s.heartbeat));
        EXPECT_EQ(p.form.Label1.caption(), QString(s.voltage));
    }
    QTest::qWait(50); // past the deaf time after the reset
    p.form.Label1.setVisible(false);
    p.form.Label2.setVisible(false);
    p.line->feed("D?051??102??");
    EXPECT_EQ(p.form.Label1.caption(), "05,1V");
    EXPECT_EQ(p.form.Label2.caption(), "1,02A");
    EXPECT_FALSE(p.form.Label1.isVisible());
    EXPECT_FALSE(p.form.Label2.isVisible());
}

// ---- Through a real pseudo-terminal --------------------------------------

using namespace std::chrono_literals;
using test::WaitUntil;

void Settle(int ms) {
    QTest::qWait(ms);
}

struct PtyForm : test::PanelOnPty {
    PtyForm() { openCom2(); }
    bool linkOpen() const { return session.unit().linkOpen(); }
    QString lastText() const {
        return session.lastMeasurement() ? session.lastMeasurement()->text() : QString();
    }
    /// Sends one frame and waits until the handler has taken it.
    bool frame(const QByteArray& bytes) {
        const QString before = form.Label17.caption();
        pty.send(bytes);
        return WaitUntil([&] { return form.Label17.caption() != before; });
    }
};

TEST(ReceiveOverPty, FramesAppearAndHeartbeatBlinks) {
    PtyForm p;
    ASSERT_TRUE(p.pty.ok());
    ASSERT_TRUE(p.linkOpen());
    ASSERT_TRUE(p.frame("D?123??045??"));
    EXPECT_EQ(p.form.Label1.caption(), "12,3V");
    EXPECT_EQ(p.form.Label2.caption(), "0,45A");
    EXPECT_EQ(p.form.Label17.caption(), "*");
    EXPECT_EQ(p.lastText(), "12,3V0,45A");

    ASSERT_TRUE(p.frame("D?123??045??")); // the same values again
    EXPECT_EQ(p.form.Label17.caption(), "");
    EXPECT_EQ(p.lastText(), "12,3V0,45A");

    p.pty.send("D?999??999?"); // invalid: 11 now, and 23 with the next
    Settle(100);
    p.pty.send("?D");
    Settle(300);
    EXPECT_EQ(p.form.Label17.caption(), "");
    EXPECT_EQ(p.form.Label1.caption(), "12,3V");
    EXPECT_EQ(p.lastText(), "12,3V0,45A");
    EXPECT_TRUE(p.linkOpen());

    ASSERT_TRUE(p.frame("D?250??199??"));
    EXPECT_EQ(p.form.Label1.caption(), "25,0V");
    EXPECT_EQ(p.form.Label2.caption(), "1,99A");
    EXPECT_EQ(p.form.Label17.caption(), "*");
    EXPECT_EQ(p.lastText(), "25,0V1,99A");
}

TEST(ReceiveOverPty, BurstOfFramesResetsAndRecovers) {
    PtyForm p;
    ASSERT_TRUE(p.linkOpen());
    p.pty.send("D?111??111??D?222??222??D?333??333??");
    Settle(300);
    EXPECT_EQ(p.form.Label1.caption(), "00,0V");
    EXPECT_EQ(p.form.Label17.caption(), "");
    EXPECT_TRUE(p.linkOpen());
    ASSERT_TRUE(p.frame("D?044??033??"));
    EXPECT_EQ(p.form.Label1.caption(), "04,4V");
    EXPECT_EQ(p.form.Label2.caption(), "0,33A");
}

// The reopen after a bad frame finds no device: the port stays closed and
// the window goes on handling events.
void ExpectAliveWithPortClosed(PtyForm& p) {
    EXPECT_FALSE(p.linkOpen());
    bool timerFired = false;
    QTimer::singleShot(20, [&] { timerFired = true; });
    EXPECT_TRUE(WaitUntil([&] { return timerFired; }, 1s));
    EXPECT_EQ(p.form.Label17.caption(), "");
}

TEST(ReceiveOverPty, ReopenFailsWhenTheMappingIsGone) {
    PtyForm p;
    ASSERT_TRUE(p.openCom2ThroughLink(p.pty.slavePath()));
    ASSERT_TRUE(p.linkOpen());
    ASSERT_TRUE(p.pointLinkAt(QString())); // the device the port is mapped to vanishes
    p.pty.send("D?123??045??D");
    Settle(300);
    ExpectAliveWithPortClosed(p);
}

TEST(ReceiveOverPty, ReopenFailsWhenTheDeviceHungUp) {
    PtyForm p;
    ASSERT_TRUE(p.linkOpen());
    p.pty.send("d?123??045??");
    p.pty.closeMaster();
    Settle(300);
    ExpectAliveWithPortClosed(p);
}

// A unit that sends at line speed: one character about every millisecond,
// frames 50 ms apart. The port was opened in the middle of a frame; the reset
// must drop the rest of it, so the first whole frame after it shows.
TEST(ReceiveOverPty, PacedFramesAfterOpeningMidFrame) {
    PtyForm p;
    ASSERT_TRUE(p.linkOpen());
    std::atomic<bool> stop = false;
    std::atomic<int> framesSent = 0;
    const auto sendPaced = [&](const QByteArray& bytes) {
        for (char c : bytes) {
            p.pty.send(QByteArray(1, c));
            QThread::usleep(1040);
        }
    };
    std::thread unit([&] {
        sendPaced("5??045??");
        for (int i = 0; i < 20 && !stop; ++i) {
            QThread::msleep(50);
            sendPaced("D?123??045??");
            ++framesSent;
        }
    });
    const bool shown = WaitUntil([&] { return p.form.Label1.caption() == "12,3V"; }, 3s);
    const int sent = framesSent;
    stop = true;
    unit.join();
    EXPECT_TRUE(shown);
    // The cut frame is lost, and under load perhaps the next; one that kept
    // resynchronising would lose them all.
    EXPECT_LE(sent, 4) << "frames lost to resynchronising";
}

// The mapped device is a link to a pseudo-terminal, as udev makes one for a
// USB adapter. Pulled (the master closed) and put back (a new one, the link
// re-pointed), or not there when the program started: the session's serial
// component opens it again by itself, and the frames show again within 2 s,
// with no click.
TEST(ReceiveOverPty, APulledDeviceComesBackByItself) {
    for (const bool startedAbsent : {false, true}) {
        SCOPED_TRACE(startedAbsent ? "started while the link pointed nowhere" : "pulled");
        PtyForm p;
        ASSERT_TRUE(p.openCom2ThroughLink(startedAbsent ? QString() : p.pty.slavePath()));
        if (!startedAbsent) {
            ASSERT_TRUE(p.frame("D?123??045??"));
            p.pty.closeMaster();
            ASSERT_TRUE(WaitUntil([&] { return !p.linkOpen(); }));
        }
        EXPECT_FALSE(p.linkOpen());
        std::printf("while away: %s\n", p.form.linkToolTip().toUtf8().constData());
        EXPECT_TRUE(p.form.linkToolTip().contains(startedAbsent ? "waiting for the device"
                                                                : "COM2 \u2013 "))
            << p.form.linkToolTip().toStdString();
        test::PtyPair back;
        ASSERT_TRUE(p.pointLinkAt(back.slavePath()));
        QElapsedTimer clock;
        clock.start();
        const QString before = p.form.Label17.caption();
        qint64 sentAt = -100;
        const bool shown = WaitUntil(
            [&] {
                if (clock.elapsed() - sentAt >= 50) {
                    back.send("D?250??199??");
                    sentAt = clock.elapsed();
                }
                return p.form.Label17.caption() != before;
            },
            2s);
        EXPECT_TRUE(shown);
        std::printf("frames again %lld ms after the device came back\n", clock.elapsed());
        EXPECT_EQ(p.form.Label1.caption(), "25,0V");
        EXPECT_TRUE(p.form.linkToolTip().section(u'\n', 0, 0).endsWith(": receiving"))
            << p.form.linkToolTip().toStdString();
        EXPECT_EQ(p.session.unit().linkStatus().device, p.linkPath());
    }
}

// A unit at the line's full rate, 80 frames a second with no gap, delivered
// whole, in a UART's 8-character or a USB adapter's 16-character pieces, or
// one character at a time: after the first reset finds the boundary, the
// frames show.
TEST(ReceiveOverPty, FramesBackToBackShowInEveryPieceSize) {
    for (const int piece : {12, 8, 16, 1}) {
        SCOPED_TRACE(piece);
        PtyForm p;
        ASSERT_TRUE(p.linkOpen());
        int shown = 0;
        QObject::connect(&p.session, &Session::measured,
                         [&, last = QString()](const Measurement& m) mutable {
                             if (m.text() != last) ++shown;
                             last = m.text();
                         });
        constexpr int kFrames = 80;
        std::thread unit([&] {
            QByteArray stream = "5  "; // opened in the middle of a frame
            for (int i = 0; i < kFrames; ++i)
                stream +=
                    "D " + QByteArray::number(100 + i) + "  " + QByteArray::number(100 + i) + "  ";
            const auto start = std::chrono::steady_clock::now();
            for (qsizetype at = 0; at < stream.size(); at += piece) {
                // Each piece once its last character would be on the line.
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(1042) * (at + piece));
                p.pty.send(stream.mid(at, piece));
            }
        });
        Settle(1400);
        unit.join();
        Settle(100);
        EXPECT_GE(shown, kFrames * 8 / 10);
    }
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

// What the component hands the receive handler after a reset at 0 ms, for
// characters arriving as the unit and the line deliver them.
struct Arrival {
    double atMs;
    QByteArray bytes;
};

struct SyncCase {
    const char* name;
    QList<Arrival> arrivals;
    QList<QByteArray> blocks;
};

const QByteArray kF1 = "D 101  011  ", kF2 = "D 102  012  ", kF3 = "D 103  013  ",
                 kF4 = "D 104  014  ", kF5 = "D 105  015  ";
// The rest of the frame the reset cut, then five frames without a gap.
const QByteArray kStream = "45  " + kF1 + kF2 + kF3 + kF4 + kF5;

// The stream in pieces of `size` characters, each `ms` after the one before.
QList<Arrival> Pieces(const QByteArray& stream, int size, double ms) {
    QList<Arrival> out;
    for (qsizetype at = 0; at < stream.size(); at += size)
        out.append({ms * double(out.size() + 1), stream.mid(at, size)});
    return out;
}

TEST(FrameSync, FindsTheFrameBoundaryAfterAReset) {
    const QList<QByteArray> all{kF1, kF2, kF3, kF4, kF5};
    const SyncCase cases[] = {
        {"whole frames back to back", Pieces(kStream.mid(4), 12, 12.5), all},
        {"8-character pieces", Pieces(kStream, 8, 8.33), all},
        {"16-character pieces", Pieces(kStream, 16, 16.7), all},
        {"single characters", Pieces(kStream, 1, 1.04), all},
        // Gaps: the rest of the cut frame is dropped, the next frame shows.
        {"frames 50 ms apart", {{3, "45  "}, {50, kF1}, {100, kF2}}, {kF1, kF2}},
        {"a frame in two pieces", {{3, "45  "}, {50, kF1.left(6)}, {75, kF1.mid(6)}}, {kF1}},
        // A whole-looking block right after the reset is dropped, as the rest
        // of a cut frame.
        {"a whole-looking block at once, then a gap", {{2, kF1}, {42, kF2}}, {kF2}},
        // A boundary found once holds: a spoilt frame comes out as it is.
        {"a spoilt lead in the stream",
         Pieces(kStream.left(4 + 36) + "X" + kF4.mid(1) + kF5, 8, 8.33),
         {kF1, kF2, kF3, "X" + kF4.mid(1), kF5}},
    };
    for (const SyncCase& c : cases) {
        SCOPED_TRACE(c.name);
        FrameSync sync;
        sync.resynchronise(0);
        QList<QByteArray> blocks;
        for (const Arrival& a : c.arrivals) {
            sync.take(a.bytes, qint64(a.atMs * 1e6));
            while (sync.blockReady())
                blocks << sync.read();
        }
        EXPECT_EQ(blocks, c.blocks);
    }
}

TEST(FrameSync, AfterAnOpenEveryWaitingCharacterIsOneBlock) {
    FrameSync sync;
    sync.take(kF1 + kF2, 0);
    EXPECT_TRUE(sync.blockReady());
    EXPECT_EQ(sync.read(), kF1 + kF2);
    sync.take("D 1", 0);
    EXPECT_FALSE(sync.blockReady());
}

} // namespace
} // namespace velmora
