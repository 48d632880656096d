// The soak's own judges: a judge that lets a fault through makes the soak worthless.

#include "soak/soak_frames.h"
#include "soak/soak_presses.h"

#include <gtest/gtest.h>
#include <tuple>

namespace velmora::soak {
namespace {

TEST(SoakChecks, RxLinesGiveTheirBytes) {
    EXPECT_EQ(RxBytes("rx 30 31 0d"), std::optional<std::string>("01\r"));
    EXPECT_EQ(RxBytes("rx"), std::optional<std::string>(""));
    EXPECT_EQ(RxBytes("rx ff"), std::optional<std::string>("\xff"));
    EXPECT_FALSE(RxBytes("command 030 100 -> set 3.0 V 0.500 A"));
    EXPECT_FALSE(RxBytes("rx 3"));
    EXPECT_FALSE(RxBytes("rx 3g"));
    EXPECT_FALSE(RxBytes("rx  30"));
}

TEST(SoakChecks, OnlyWholeCommandsPassOnTheLine) {
    struct Case {
        std::string bytes;
        bool mayEndCut;
        int commands;
        std::size_t faults;
    };
    const std::vector<Case> cases{
        {"", false, 0, 0},
        {"030\r100\r", false, 1, 0},
        {"030\r100\r123\r456\r", false, 2, 0},
        {"030\r100\r12", true, 1, 0},  // cut by the pulled line
        {"030\r100\r12", false, 1, 1}, // cut with the line still there
        {"030\r1000\r", false, 0, 2},  // a four-digit field shifts everything after
        {"03\r0100\r", false, 0, 1},
        {"0a0\r100\r", false, 0, 1},
        {"030\n100\r", false, 0, 1},
        {"030\r100\r03X", true, 1, 1}, // what did arrive of a cut one is still judged
    };
    for (const auto& c : cases) {
        const RxVerdict v = CheckRxStream(c.bytes, c.mayEndCut);
        EXPECT_EQ(v.commands, c.commands) << Printable(c.bytes);
        EXPECT_EQ(v.faults.size(), c.faults) << Printable(c.bytes);
    }
}

TEST(SoakChecks, ReadingsMustFitTheTenOhmLoad) {
    struct Case {
        const char* voltage;
        const char* current;
        bool plausible;
    };
    const std::vector<Case> cases{
        {"00.0V", "0.00A", true},  {"05.3V", "0.53A", true},  {"05.3V", "0.55A", true},
        {"05.3V", "0.51A", true},  {"05.3V", "0.56A", false}, {"05.3V", "0.50A", false},
        {"10.0V", "1.00A", true},  {"53.0V", "0.53A", false}, {"20.2V", "2.02A", true},
        {"20.3V", "2.03A", false}, {"5.3V", "0.53A", false}};
    for (const auto& c : cases)
        EXPECT_EQ(PlausibleReading(c.voltage, c.current), c.plausible)
            << c.voltage << " " << c.current;
}

TEST(SoakChecks, RecordLinesInOrderAndOnePerChange) {
    using L = e2e::RecordLine;
    const std::vector<L> good{{"2024-03-05 23:59:59", "01.0V", "0.10A"},
                              {"2024-03-06", "01.1V", "0.10A"},
                              {"2024-03-06 00:00:01", "0?.1V", "0.11A"},
                              {"2024-03-06 00:00:01", "01.1V", "0.11A"}};
    EXPECT_TRUE(RecordFaults(good).empty());
    const std::vector<L> repeated{{"2024-03-05 10:00:00", "01.0V", "0.10A"},
                                  {"2024-03-05 10:00:01", "01.0V", "0.10A"}};
    EXPECT_EQ(RecordFaults(repeated).size(), 1u);
    const std::vector<L> backwards{{"2024-03-05 10:00:02", "01.0V", "0.10A"},
                                   {"2024-03-05 10:00:01", "01.1V", "0.11A"}};
    EXPECT_EQ(RecordFaults(backwards).size(), 1u);
    const std::vector<L> impossible{{"2024-03-05 10:00:00", "03.0V", "0.10A"}};
    EXPECT_EQ(RecordFaults(impossible).size(), 1u);
}

TEST(SoakChecks, ControlRecordsChangeFromRecordToRecord) {
    const QDateTime at(QDate(2024, 3, 5), QTime(14, 7, 9));
    const ControlRecord r = MakeControlRecord(at, 0);
    EXPECT_EQ(r.line, QByteArray("#2024-03-05 14:07:09#,\"01.1V\",\"0.11A\"\r\n"));
    EXPECT_EQ(r.fields, QByteArray("011 022"));
    QByteArray previous;
    for (int k = 0; k < 2000; ++k) {
        const ControlRecord c = MakeControlRecord(at.addSecs(k), k);
        ASSERT_NE(c.fields, previous);
        ASSERT_TRUE(e2e::ParseRecordFile(c.line).has_value()) << c.line.constData();
        previous = c.fields;
    }
}

TEST(SoakChecks, PlaybackCommandsMatchTheControlFileInOrder) {
    const std::vector<QByteArray> expected{"011 022", "022 044", "033 066", "044 088"};
    EXPECT_EQ(MatchInOrder({"011 022", "033 066"}, expected), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(MatchInOrder({}, expected), std::vector<std::size_t>{});
    EXPECT_FALSE(MatchInOrder({"033 066", "011 022"}, expected));
    EXPECT_FALSE(MatchInOrder({"055 010"}, expected));
}

TEST(SoakChecks, TheAdjusterStepsAsThePanelDoes) {
    Adjuster a;
    a.step(2); // -1 V at 0: not taken
    EXPECT_EQ(a.fields(), QByteArray("000 000"));
    a.step(1);
    a.step(5);
    a.step(7);
    EXPECT_EQ(a.fields(), QByteArray("010 022"));
    for (int i = 0; i < 30; ++i)
        a.step(1);
    EXPECT_EQ(a.fields(), QByteArray("200 022")); // 20 V is the limit of the 1A/20V model
    EXPECT_EQ(ButtonCentre(1), std::make_pair(464, 24));
    EXPECT_EQ(ButtonCentre(6), std::make_pair(560, 64));
}

TEST(SoakFrames, TheUnitsFramesLogReadsAsTheRecorderWritesTheValues) {
    const FramesLog log = ParseFramesLog("8123456 D 123  045  \n"
                                         "8123468 D 000  000  \n"
                                         "8123470 dropped 36 unread characters\n"
                                         "8123480 D 201  100  \n"
                                         "8123490 D 12\n"
                                         "junk D 123  045  \n");
    ASSERT_EQ(log.frames.size(), 3u);
    const std::vector<std::tuple<long long, const char*, const char*>> want{
        {8123456, "12.3V", "0.45A"}, {8123468, "00.0V", "0.00A"}, {8123480, "20.1V", "1.00A"}};
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(log.frames[i].atMs, std::get<0>(want[i]));
        EXPECT_EQ(log.frames[i].voltage, std::get<1>(want[i]));
        EXPECT_EQ(log.frames[i].current, std::get<2>(want[i]));
    }
    EXPECT_EQ(log.droppedAtMs, std::vector<long long>{8123470});
    EXPECT_EQ(log.unreadable, 2);
    // The same texts the record file carries.
    const auto line = e2e::ParseRecordFile("#2024-03-05 14:07:09#,\"12.3V\",\"0.45A\"\r\n");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->front().voltage, log.frames[0].voltage);
    EXPECT_EQ(line->front().current, log.frames[0].current);
}

Reading R(long long at, const char* v, const char* a) {
    return {at, v, a};
}

TEST(SoakFrames, OnlyChangesWithinTheStretchAreExpected) {
    const std::vector<Reading> frames{R(0, "01.0V", "0.10A"),  R(10, "01.0V", "0.10A"),
                                      R(20, "01.1V", "0.10A"), R(30, "01.1V", "0.10A"),
                                      R(40, "01.1V", "0.11A"), R(50, "01.0V", "0.10A"),
                                      R(60, "01.0V", "0.10A")};
    const auto at = [](const std::vector<Reading>& changes) {
        std::vector<long long> out;
        for (const auto& c : changes)
            out.push_back(c.atMs);
        return out;
    };
    EXPECT_EQ(at(ChangesWithin(frames, 0, 60)), (std::vector<long long>{0, 20, 40, 50}));
    // The frame at 10 repeats the one before the stretch: the panel had it already.
    EXPECT_EQ(at(ChangesWithin(frames, 10, 45)), (std::vector<long long>{20, 40}));
    EXPECT_EQ(at(ChangesWithin(frames, 55, 60)), std::vector<long long>{});
}

TEST(SoakFrames, EveryChangeMustBeTheNextRecordLine) {
    using L = e2e::RecordLine;
    const std::vector<L> lines{
        {"2024-03-05 10:00:00", "01.0V", "0.10A"}, {"2024-03-05 10:00:00", "01.1V", "0.11A"},
        {"2024-03-05 10:00:01", "01.0V", "0.10A"}, {"2024-03-05 10:00:01", "01.1V", "0.11A"},
        {"2024-03-05 10:00:01", "01.2V", "0.12A"}, {"2024-03-05 10:00:02", "01.3V", "0.13A"}};
    const Reading a = R(0, "01.0V", "0.10A"), b = R(1, "01.1V", "0.11A"),
                  c = R(2, "01.2V", "0.12A"), d = R(3, "01.3V", "0.13A");
    struct Case {
        const char* name;
        std::vector<Reading> changes;
        std::size_t first, last;
        bool found;
        std::size_t at;
        const char* mismatch; // a piece of the explanation
    };
    const std::vector<Case> cases{
        {"found past a false start", {a, b, c, d}, 0, 3, true, 2, ""},
        {"first candidate is the one", {a, b, a}, 0, 0, true, 0, ""},
        {"starts outside the candidates", {c, d}, 0, 3, false, 0, "in none of record lines 1..4"},
        {"a change lost between two lines",
         {a, b, d},
         0,
         3,
         false,
         0,
         "then change 3 (01.3V 0.13A"},
        {"the file ends first", {c, d, a}, 4, 5, false, 0, "2 of 3 changes from record line 5"},
        {"order swapped", {b, a, c}, 0, 5, false, 0, "change 3 (01.2V 0.12A"},
        {"nothing to find", {}, 2, 3, true, 2, ""},
    };
    for (const auto& k : cases) {
        const RecordMatch m = MatchConsecutive(lines, k.changes, k.first, k.last);
        EXPECT_EQ(m.found, k.found) << k.name << ": " << m.mismatch;
        if (k.found) {
            EXPECT_EQ(m.firstLine, k.at) << k.name;
        }
        EXPECT_NE(m.mismatch.find(k.mismatch), std::string::npos) << k.name << ": " << m.mismatch;
    }
}

TEST(SoakFrames, LinesAreFoundByTheirStamps) {
    using L = e2e::RecordLine;
    const std::vector<L> lines{{"2024-03-05 23:59:58", "01.0V", "0.10A"},
                               {"2024-03-05 23:59:59", "01.1V", "0.11A"},
                               {"2024-03-06", "01.0V", "0.10A"},
                               {"2024-03-06 00:00:02", "01.2V", "0.12A"}};
    using Span = std::optional<std::pair<std::size_t, std::size_t>>;
    EXPECT_EQ(LinesStamped(lines, "2024-03-05 23:59:59", "2024-03-06 00:00:01"), Span({1, 2}));
    EXPECT_EQ(LinesStamped(lines, "2024-03-06 00:00:03", "2024-03-06 00:00:09"), Span());
}

} // namespace
} // namespace velmora::soak
