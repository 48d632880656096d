// A recording of a changing output holds one well-formed line per change,
// and played back as a control file it tells the unit those values again.

#include "e2e/session.h"

#include <QSet>
#include <cstdio>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

// The command the player makes of a record on the "1A/20V" model: voltage
// characters 1, 2, 4; the current number of characters 1, 3, 4, doubled.
QByteArray PlayedAs(const RecordLine& line) {
    const QByteArray v = line.voltage;
    const QByteArray c = line.current;
    const int current = (QByteArray(1, c[0]) + c[2] + c[3]).toInt() * 2;
    return QByteArray(1, v[0]) + v[1] + v[3] + ' ' +
           QByteArray::number(current).rightJustified(3, '0');
}

TEST(RecordPlayback, OneLinePerChangeAndPlayedBackAsRecorded) {
    Session s;
    ASSERT_TRUE(s.startRecordingPanel());

    // 0.3 A, then 1 V and 2 V: the output moves twice, with the steps between.
    ASSERT_TRUE(s.raiseCurrent(3));
    for (const char* to : {"010 060", "020 060"}) {
        ASSERT_TRUE(Click(s.window(), kPlusOneVoltX, kPlusOneVoltY));
        ASSERT_TRUE(s.waitForCommand(to)) << to;
    }
    ASSERT_TRUE(WaitUntil([&] { return s.record().contains("\"02.0V\",\"0.20A\""); }, 3s))
        << s.record().toStdString();
    Pause(300ms);                   // a last frame of 2.0 V must add no line
    ASSERT_TRUE(s.clickRecorder()); // Stop
    Pause(200ms);

    const QByteArray recorded = s.record();
    const auto lines = ParseRecordFile(recorded);
    ASSERT_TRUE(lines.has_value()) << "malformed record file:\n" << recorded.toStdString();
    ASSERT_GE(lines->size(), 2u) << recorded.toStdString();
    for (std::size_t i = 1; i < lines->size(); ++i) {
        const RecordLine& a = (*lines)[i - 1];
        const RecordLine& b = (*lines)[i];
        EXPECT_FALSE(a.voltage == b.voltage && a.current == b.current)
            << "line " << i + 1 << " repeats the one before:\n"
            << recorded.toStdString();
    }
    const QSet<QByteArray> values = [&] {
        QSet<QByteArray> set;
        for (const RecordLine& l : *lines)
            set.insert(l.voltage + l.current);
        return set;
    }();
    EXPECT_TRUE(values.contains("01.0V0.10A")) << recorded.toStdString();
    EXPECT_TRUE(values.contains("02.0V0.20A")) << recorded.toStdString();
    EXPECT_EQ(lines->back().voltage + lines->back().current, "02.0V0.20A");

    // Every stamp has passed: the player sends the whole file back to back.
    ASSERT_TRUE(WriteFile(s.controlFile(), recorded));
    s.drainUnit();
    ASSERT_TRUE(s.clickPlayer());
    std::vector<QByteArray> sent;
    for (std::size_t i = 0; i < lines->size(); ++i) {
        const QByteArray fields = s.nextCommand(3s);
        if (fields.isEmpty()) break;
        sent.push_back(fields);
    }
    std::printf("recorded %zu lines, played back %zu commands\n", lines->size(), sent.size());
    ASSERT_EQ(sent.size(), lines->size())
        << "the player sent fewer commands than the file has lines";
    for (std::size_t i = 0; i < lines->size(); ++i)
        EXPECT_EQ(sent[i], PlayedAs((*lines)[i]))
            << "line " << i + 1 << ": " << (*lines)[i].voltage.data() << ","
            << (*lines)[i].current.data();
    EXPECT_FALSE(s.sim().waitForLine("command ", 500ms))
        << "the player sent more than the file holds";
    EXPECT_TRUE(s.panelRunning());
}

} // namespace
} // namespace velmora::e2e
