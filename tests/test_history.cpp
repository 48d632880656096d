// The plot's data: record lines as CSV rows, set-point commands read back
// per model, the history's bound and order, and record files read whole.

#include "history/csv_export.h"
#include "history/file_history.h"
#include "history/history.h"
#include "history/values.h"
#include "playback/playback_rules.h"
#include "recording/wall_time.h"
#include "support/files.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <map>

namespace velmora {
namespace {

TEST(CsvRows, TableOfRecordLines) {
    struct Case {
        QByteArray line;
        QByteArray row; // empty: left out
    };
    const Case cases[] = {
        {"#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"", "2024-03-05T14:07:09,12.3,1.23,15.129"},
        {"#2024-03-05 09:00:00#,\"05.0V\",\"0.40A\"", "2024-03-05T09:00:00,5.0,0.40,2.000"},
        {"#2024-03-06#,\"05.0V\",\"0.40A\"", "2024-03-06T00:00:00,5.0,0.40,2.000"},
        {"#2024-03-06 23:59:59#,\"00.0V\",\"0.00A\"", "2024-03-06T23:59:59,0.0,0.00,0.000"},
        {"#2024-03-06 10:00:00#,\"99.9V\",\"9.99A\"", "2024-03-06T10:00:00,99.9,9.99,998.001"},
        {"#2024-03-06 10:00:00#,\"00.1V\",\"0.01A\"", "2024-03-06T10:00:00,0.1,0.01,0.001"},
        // The separators are not looked at, as the player does not.
        {"#2024-03-06 10:00:00#,\"12,3V\",\"1,23A\"", "2024-03-06T10:00:00,12.3,1.23,15.129"},
        {" #2024-03-06 10:00:00# , 12.3V ,1.23A ", "2024-03-06T10:00:00,12.3,1.23,15.129"},
        // Not digits at a value place, cut short, or not a record at all.
        {"#2024-03-06 10:00:00#,\"1?.3V\",\"1.23A\"", ""},
        {"#2024-03-06 10:00:00#,\"12.3V\",\"1.2 A\"", ""},
        {"#2024-03-06 10:00:00#,\"12.V\",\"1.23A\"", ""},
        {"#2024-03-06 10:00:00#,\"\",\"\"", ""},
        {"#2024-03-06 10:00:00#,\"12.3V\"", ""},
        {"#2024-02-30#,\"12.3V\",\"1.23A\"", ""},
        {"#2024-03-06 10:0x:00#,\"12.3V\",\"1.23A\"", ""},
        {"garbage", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const auto row = CsvRowOfRecord(ParseRecord(c.line));
        EXPECT_EQ(row.value_or(QByteArray()), c.row);
    }
}

TEST(SetpointCommands, DecodedPerModel) {
    struct Case {
        Model model;
        QByteArray command;
        int mV, mA; // -1: not a set-point command
    };
    const Case cases[] = {
        {Model::Large2A5_25V, "125\r150\r", 12500, 1500},
        {Model::Large2A5_25V, "250\r250\r", 25000, 2500},
        {Model::Small1A20V, "100\r100\r", 10000, 500},
        {Model::Small1A20V, "200\r200\r", 20000, 1000},
        {Model::Small1A20V, "123\r246\r", 12300, 1230},
        {Model::Large2A5_25V, "000\r000\r", 0, 0},
        {Model::None, "125\r150\r", -1, -1},
        {Model::Small1A20V, "125\r150", -1, -1},
        {Model::Small1A20V, "125\r1500\r", -1, -1},
        {Model::Small1A20V, "12X\r150\r", -1, -1},
        {Model::Small1A20V, "125\n150\r", -1, -1},
        {Model::Small1A20V, "", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.toStdString());
        const auto s = DecodeCommand(c.model, c.command);
        EXPECT_EQ(s ? s->voltage.value : -1, c.mV);
        EXPECT_EQ(s ? s->current.value : -1, c.mA);
    }
}

TEST(History, OldestGoFirstPastTheBoundAndOrderHolds) {
    History h(100'000);
    for (qint64 i = 0; i < 400'000; ++i)
        h.addMeasurement(1000 + i * 10, {int(i % 1000), int(i % 7)});
    // Whole blocks go: never fewer than asked for, never a block more.
    EXPECT_GE(h.size(), 100'000);
    EXPECT_LE(h.size(), 100'000 + 65'536);
    EXPECT_EQ(h.last()->ms, 1000 + 399'999 * 10);
    EXPECT_EQ(h.first()->ms, 1000 + (400'000 - h.size()) * 10);
    EXPECT_LT(h.bytesHeld(), (100'000 + 2 * 65'536) * 8 + 4096);
    // A clock set back does not put a sample before the newest.
    h.addMeasurement(5, {1, 1});
    EXPECT_EQ(h.last()->ms, 1000 + 399'999 * 10);
    EXPECT_EQ(h.nearest(1000 + 350'000 * 10 + 4)->ms, 1000 + 350'000 * 10);
    EXPECT_EQ(h.nearest(1000 + 350'000 * 10 + 6)->ms, 1000 + 350'001 * 10);
}

TEST(History, EnvelopeKeepsExtremesAndReachesTheEdges) {
    History h;
    for (int i = 0; i < 1000; ++i)
        h.addMeasurement(i * 100, {i == 500 ? 999 : 10, 20});
    const Envelope e = h.envelope(10'000, 90'000, 10);
    ASSERT_FALSE(e.keys.empty());
    EXPECT_LE(e.keys.size(), 2u * 10 + 2);
    EXPECT_DOUBLE_EQ(*std::max_element(e.volts.begin(), e.volts.end()), 99.9);
    EXPECT_DOUBLE_EQ(e.keys.front(), 9.9); // the sample just before the range
    EXPECT_DOUBLE_EQ(e.keys.back(), 90.1); // and the one just after
    EXPECT_TRUE(std::is_sorted(e.keys.begin(), e.keys.end()));
    EXPECT_TRUE(History().envelope(0, 10, 10).keys.empty());
}

TEST(History, FastAlternationDrawsUprightBarsWithoutASlope) {
    // 1.0 V and 2.0 V in turn, a hundred samples a column: a band, no sawtooth.
    History h;
    for (int i = 0; i < 10'000; ++i)
        h.addMeasurement(i * 10, {i % 2 ? 20 : 10, i % 2 ? 30 : 10});
    const Envelope e = h.envelope(0, 99'990, 100);
    ASSERT_EQ(e.keys.size(), 200u);
    for (std::size_t i = 0; i < e.keys.size(); i += 2) {
        SCOPED_TRACE(i);
        EXPECT_EQ(e.keys[i], e.keys[i + 1]) << "both extremes at the column's one time";
        EXPECT_DOUBLE_EQ(e.volts[i], 1.0);
        EXPECT_DOUBLE_EQ(e.volts[i + 1], 2.0);
        EXPECT_DOUBLE_EQ(e.amps[i], 0.1);
        EXPECT_DOUBLE_EQ(e.amps[i + 1], 0.3);
        EXPECT_DOUBLE_EQ(e.watts[i], 0.1);
        EXPECT_DOUBLE_EQ(e.watts[i + 1], 0.6);
    }
}

TEST(History, LongViewsKeepEveryExtremeOfEachColumn) {
    // Columns of thousands of samples, taken in runs; a last run still filling.
    History h;
    quint32 random = 1;
    std::vector<Sample> samples;
    for (int i = 0; i < 200'003; ++i) {
        random = random * 1'103'515'245u + 12'345u;
        samples.push_back({i * 10LL, {int(random >> 8) % 1000, int(random >> 20) % 1000}});
        h.addMeasurement(samples.back().ms, samples.back().values);
    }
    const qint64 from = 123'455, to = 1'876'543;
    const int columns = 37;
    const Envelope e = h.envelope(from, to, columns);
    // The smallest and largest of each column, sample by sample.
    std::map<qint64, std::array<int, 6>> expected;
    qint64 columnMs = -1, column = -2;
    for (const Sample& s : samples) {
        if (s.ms < from - 10 || s.ms > to + 10) continue;
        const qint64 c = s.ms < from ? -1
                         : s.ms > to ? columns
                                     : (s.ms - from) * columns / (to - from + 1);
        if (c != column)
            column = c, columnMs = s.ms, expected[columnMs] = {999, 0, 999, 0, 999'999, 0};
        auto& x = expected[columnMs];
        const int v = s.values.decivolts, a = s.values.centiamps, w = v * a;
        x = {std::min(x[0], v), std::max(x[1], v), std::min(x[2], a),
             std::max(x[3], a), std::min(x[4], w), std::max(x[5], w)};
    }
    std::map<qint64, std::array<int, 6>> got;
    for (std::size_t i = 0; i < e.keys.size(); ++i) {
        const qint64 ms = std::llround(e.keys[i] * 1000);
        auto [it, fresh] = got.try_emplace(ms, std::array<int, 6>{999, 0, 999, 0, 999'999, 0});
        auto& x = it->second;
        const int v = int(std::lround(e.volts[i] * 10)), a = int(std::lround(e.amps[i] * 100)),
                  w = int(std::lround(e.watts[i] * 1000));
        x = {std::min(x[0], v), std::max(x[1], v), std::min(x[2], a),
             std::max(x[3], a), std::min(x[4], w), std::max(x[5], w)};
    }
    ASSERT_EQ(got.size(), std::size_t(columns + 2));
    EXPECT_EQ(got, expected);
}

TEST(History, RecordFileReadWithLinesLeftOutCountedAndWrittenAsCsv) {
    QTemporaryDir dir;
    const QString path = dir.filePath("record.txt");
    ASSERT_TRUE(test::WriteFile(path, "#2024-03-05 14:07:10#,\"12.3V\",\"1.23A\"\r\n"
                                      "not a record\r\n"
                                      "#2024-03-05 14:07:09#,\"05.0V\",\"0.40A\"\r\n"
                                      "#2024-03-05 14:07:11#,\"0?.0V\",\"0.40A\"\n"
                                      "#2024-03-06#,\"05.0V\",\"0.40A\""));
    const FileHistory read = LoadRecordFile(path);
    ASSERT_TRUE(read.history);
    EXPECT_EQ(read.lines, 5);
    EXPECT_EQ(read.leftOut, 2);
    EXPECT_EQ(LeftOutText(read.leftOut, read.lines), "left out 2 of 5 lines");
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteHistoryCsv(*read.history, csv));
    // In time order, whatever order the lines had.
    EXPECT_EQ(csv.data(), "time,voltage_V,current_A,power_W\n"
                          "2024-03-05T14:07:09,5.0,0.40,2.000\n"
                          "2024-03-05T14:07:10,12.3,1.23,15.129\n"
                          "2024-03-06T00:00:00,5.0,0.40,2.000\n");

    EXPECT_FALSE(LoadRecordFile(dir.filePath("missing.txt")).history);
    EXPECT_FALSE(LoadRecordFile(dir.path()).history);
    EXPECT_TRUE(LoadRecordFile(dir.filePath("missing.txt")).error.contains("no such file"));
}

TEST(History, OnePassGivesTheSamplesAndThePlanOfTheTwoReadings) {
    const QByteArray tooLong(5000, 'x');
    struct Case {
        const char* name;
        QByteArray bytes;
        qint64 lines, leftOut;
        QByteArray csv; // the samples, without the header
        QStringList commands, skips, warnings;
    };
    const Case cases[] = {
        {"in order",
         "#2024-03-05 14:07:09#,\"12.3V\",\"0.40A\"\r\n"
         "#2024-03-05 14:07:10#,\"05.0V\",\"0.45A\"\r\n"
         "#2024-03-06#,\"05.0V\",\"0.40A\"\r\n",
         3,
         0,
         "2024-03-05T14:07:09,12.3,0.40,4.920\n2024-03-05T14:07:10,5.0,0.45,2.250\n"
         "2024-03-06T00:00:00,5.0,0.40,2.000\n",
         {"1 2024-03-05 14:07:09 123 080", "2 2024-03-05 14:07:10 050 090",
          "3 2024-03-06 00:00:00 050 080"},
         {},
         {}},
        {"every kind of line",
         "nonsense\r\n"
         "#2024-03-05 14:07:09#,\"1x.3V\",\"0.40A\"\r\n"
         "#2024-03-05 14:08:00#,\"12.3V\",\"0.40A\"\n"
         "#2024-03-05 14:07:30#,\"06.0V\",\"0.50A\"\r"
         "#2024-03-05 14:09:00#,\"12.3V\",\"5.00A\"\r\n" +
             tooLong +
             "\r\n"
             "#2024-03-05 14:10:00#,\"12.3V\",\"0.95A\"\r\n"
             "#2024-03-05 14:11:00#,\"12.3V\",\"1.2 A\"\r\n"
             "#2024-03-05 14:12:00#,\"12.3V\"\r\n"
             "#2024-03-07 14:12:00#,\"25.0V\",\"0.10A\"",
         10,
         5,
         "2024-03-05T14:07:30,6.0,0.50,3.000\n2024-03-05T14:08:00,12.3,0.40,4.920\n"
         "2024-03-05T14:09:00,12.3,5.00,61.500\n2024-03-05T14:10:00,12.3,0.95,11.685\n"
         "2024-03-07T14:12:00,25.0,0.10,2.500\n",
         {
             "3 2024-03-05 14:08:00 123 080",
             "4 2024-03-05 14:08:00 060 100",
         },
         {"1 - cannot be read", "2 - voltage is not two digits, a separator and a digit",
          "5 2024-03-05 14:09:00 command would be 9 characters",
          "6 2024-03-05 14:09:00 line too long to be a record",
          "7 2024-03-05 14:10:00 above your own limit for the model (settings group \"Limits\")",
          "8 2024-03-05 14:10:00 current is not a digit, a separator and two digits",
          "9 2024-03-05 14:10:00 cannot be read", "10 2024-03-07 14:12:00 past the model's range"},
         {"line 4: time stamp 2024-03-05 14:07:30 is before 2024-03-05 14:08:00: it goes out "
          "right after the record before",
          "line 10: due more than a day ahead, at 2024-03-07 14:12:00"}},
        {"past due",
         "#2024-03-01 10:00:00#,\"05.0V\",\"0.40A\"\r\n#2024-03-01#,\"05.0V\",\"0.40A\"\r\n",
         2,
         0,
         "2024-03-01T00:00:00,5.0,0.40,2.000\n2024-03-01T10:00:00,5.0,0.40,2.000\n",
         {"1 2024-03-01 10:00:00 050 080", "2 2024-03-01 10:00:00 050 080"},
         {},
         {"every record is past due: the player sends all 2 commands at once, back to back"}},
        {"no records",
         "one\r\ntwo\r\n\r\n",
         3,
         3,
         "",
         {},
         {"1 - cannot be read", "2 - cannot be read", "3 - cannot be read"},
         {"no line reads as a record: the player would send nothing"}},
        {"empty",
         "",
         0,
         0,
         "",
         {},
         {},
         {"no line reads as a record: the player would send nothing"}},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("record.txt");
    const PlanInputs inputs{
        Model::Small1A20V, {std::nullopt, Milliamps(900)}, 0, *ParseMoment("2024-03-05 12:00:00")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::WriteFile(path, c.bytes));
        const FileHistory read = LoadRecordFile(path, inputs);
        ASSERT_TRUE(read.history && read.plan);
        EXPECT_EQ(read.lines, c.lines);
        EXPECT_EQ(read.leftOut, c.leftOut);
        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        ASSERT_TRUE(WriteHistoryCsv(*read.history, csv));
        EXPECT_EQ(csv.data(), QByteArray(kCsvHeader) + '\n' + c.csv);
        QStringList commands, skips;
        for (const PlannedCommand& p : read.plan->commands)
            commands +=
                QString("%1 %2 %3").arg(p.line).arg(ShowMoment(p.at), ShowCommand(p.command));
        for (const PlannedSkip& p : read.plan->skips)
            skips += QString("%1 %2 %3").arg(p.line).arg(p.at ? ShowMoment(p.at) : "-", p.reason);
        EXPECT_EQ(commands, c.commands);
        EXPECT_EQ(skips, c.skips);
        EXPECT_EQ(read.plan->warnings, c.warnings);
        EXPECT_EQ(read.plan->sendable, c.commands.size());
        // The samples alone, as velmora-files reads them, are the same.
        EXPECT_EQ(LoadRecordFile(path).history->size(), read.history->size());
    }
}

} // namespace
} // namespace velmora
