// The record line, read and written, and the command the player makes of it.

#include "playback/playback_command.h"
#include "recording/file_names.h"
#include "recording/record_format.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

QDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QByteArray Hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}

} // namespace

TEST(RecordFormat, WritesTheLinesAsRecorded) {
    struct Case {
        QDateTime at;
        const char* voltage;
        const char* current;
        QByteArray line;
    };
    const Case cases[] = {
        {At(2024, 3, 5, 14, 7, 9), "12,3V", "1,23A",
         "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\n"},
        {At(2024, 3, 5, 9, 0, 0), "05,0V", "0,40A",
         "#2024-03-05 09:00:00#,\"05.0V\",\"0.40A\"\r\n"},
        {At(2024, 3, 6, 0, 0, 0), "05,0V", "0,40A", "#2024-03-06#,\"05.0V\",\"0.40A\"\r\n"},
        // Milliseconds are not part of the stamp and do not make midnight a time.
        {At(2024, 3, 6, 0, 0, 0, 999), "05,0V", "0,40A", "#2024-03-06#,\"05.0V\",\"0.40A\"\r\n"},
        {At(2024, 3, 6, 0, 0, 1), "05,0V", "0,40A",
         "#2024-03-06 00:00:01#,\"05.0V\",\"0.40A\"\r\n"},
        {At(2024, 12, 31, 23, 59, 59), "25,0V", "2,50A",
         "#2024-12-31 23:59:59#,\"25.0V\",\"2.50A\"\r\n"},
        // Whatever the unit sent is written as it came: nothing checked, nothing escaped.
        {At(2024, 3, 5, 14, 7, 9), "1\",xV", "?;\"#A",
         "#2024-03-05 14:07:09#,\"1\".xV\",\"?.\"#A\"\r\n"},
        {At(2024, 3, 5, 14, 7, 9), "\xe4\xb5,1V", "0,00A",
         "#2024-03-05 14:07:09#,\"\xe4\xb5.1V\",\"0.00A\"\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_EQ(
            Hex(FormatRecord(c.at, QString::fromLatin1(c.voltage), QString::fromLatin1(c.current))),
            Hex(c.line));
    }
}

TEST(RecordFormat, FirstWorkedLineByteForByte) {
    const QByteArray expected =
        QByteArray::fromHex("23 32 30 32 34 2D 30 33 2D 30 35 20 31 34 3A 30 37 3A 30 39 23 2C 22 "
                            "31 32 2E 33 56 22 2C 22 "
                            "31 2E 32 33 41 22 0D 0A");
    ASSERT_EQ(expected.size(), 39);
    EXPECT_EQ(FormatRecord(At(2024, 3, 5, 14, 7, 9), "12,3V", "1,23A"), expected);
}

TEST(RecordFormat, ReadsRecordsBack) {
    struct Case {
        QByteArray line;
        QDateTime at;
        QByteArray voltage;
        QByteArray current;
    };
    const Case cases[] = {
        {"#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"", At(2024, 3, 5, 14, 7, 9), "12.3V", "1.23A"},
        {"#2024-03-06#,\"05.0V\",\"0.40A\"", At(2024, 3, 6, 0, 0, 0), "05.0V", "0.40A"},
        // Commas inside the quotes belong to the text.
        {"#2024-03-06#,\"12,3V\",\"1,23A\"", At(2024, 3, 6, 0, 0, 0), "12,3V", "1,23A"},
        // Texts without quotes and blanks around fields, as a hand-written file may have them.
        {" #2024-03-06 10:00:00# , 12.3V ,1.23A ", At(2024, 3, 6, 10, 0, 0), "12.3V", "1.23A"},
        {"#2024-03-06 10:00:00#,\"\",\"\"", At(2024, 3, 6, 10, 0, 0), "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const auto record = ParseRecord(c.line);
        ASSERT_TRUE(record);
        EXPECT_EQ(QDateTime(record->date, record->time), c.at);
        EXPECT_EQ(record->voltageText, c.voltage);
        EXPECT_EQ(record->currentText, c.current);
    }
}

TEST(RecordFormat, RefusesLinesThatAreNotRecords) {
    const QByteArray lines[] = {
        "",
        "   ",
        "garbage",
        "#2024-03-05 14:07:09#,\"12.3V\"",
        "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\",\"x\"",
        "2024-03-05 14:07:09,\"12.3V\",\"1.23A\"",
        "#2024-03-05 14:07:09,\"12.3V\",\"1.23A\"",
        "#2024-13-05 14:07:09#,\"12.3V\",\"1.23A\"",
        "#2024-02-30#,\"12.3V\",\"1.23A\"",
        "#2024-03-05 24:00:00#,\"12.3V\",\"1.23A\"",
        "#2024-03-05 14:07#,\"12.3V\",\"1.23A\"",
        "#2024-3-5 14:07:09#,\"12.3V\",\"1.23A\"",
        "#2024-03-05T14:07:09#,\"12.3V\",\"1.23A\"",
        "#2024-03-05 14:07:09#,\"12.3V,\"1.23A\"",
        "#2024-03-05 14:07:09#,\"12.3V\"x,\"1.23A\"",
        "#2024-03-05 14:07:09#,12\"3V,\"1.23A\"",
        "#2024-03-05##,\"12.3V\",\"1.23A\"",
    };
    for (const QByteArray& line : lines) {
        SCOPED_TRACE(line.toStdString());
        EXPECT_FALSE(ParseRecord(line));
    }
}

TEST(RecordFormat, WrittenLinesReadBack) {
    const QDateTime at = At(2024, 3, 5, 14, 7, 9);
    QByteArray line = FormatRecord(at, "12,3V", "1,23A");
    line.chop(2);
    const auto record = ParseRecord(line);
    ASSERT_TRUE(record);
    EXPECT_EQ(QDateTime(record->date, record->time), at);
    EXPECT_EQ(record->voltageText, "12.3V");
    EXPECT_EQ(record->currentText, "1.23A");
}

TEST(RecordFormat, StampComesAtItsSecond) {
    const Record record{QDate(2024, 3, 6), QTime(0, 0, 0), "12.3V", "1.23A"};
    EXPECT_FALSE(StampHasCome(record, At(2024, 3, 5, 23, 59, 59, 999)));
    EXPECT_TRUE(StampHasCome(record, At(2024, 3, 6, 0, 0, 0)));
    EXPECT_TRUE(StampHasCome(record, At(2024, 3, 6, 0, 0, 0, 500)));
    EXPECT_TRUE(StampHasCome(record, At(2024, 3, 7, 0, 0, 0)));
    const Record later{QDate(2024, 3, 6), QTime(10, 0, 1), "", ""};
    EXPECT_FALSE(StampHasCome(later, At(2024, 3, 6, 10, 0, 0, 999)));
    EXPECT_TRUE(StampHasCome(later, At(2024, 3, 6, 10, 0, 1, 1)));
    EXPECT_FALSE(StampHasCome(later, At(2024, 3, 5, 23, 0, 0)));
}

TEST(PlaybackCommand, BuildsTheCommandFromCharacterPositions) {
    struct Case {
        Model model;
        QByteArray voltage;
        QByteArray current;
        std::optional<QByteArray> command;
    };
    using M = Model;
    const Case cases[] = {
        {M::Large2A5_25V, "12.3V", "1.23A", QByteArray("123\r123\r")},
        {M::Small1A20V, "12.3V", "0.61A", QByteArray("123\r122\r")},
        {M::Large2A5_25V, "00.5V", "0.05A", QByteArray("005\r005\r")},
        {M::Small1A20V, "00.5V", "0.05A", QByteArray("005\r010\r")},
        {M::Large2A5_25V, "05.0V", "0.00A", QByteArray("050\r000\r")},
        {M::Small1A20V, "05.0V", "0.00A", QByteArray("050\r000\r")},
        // Past the model's range nothing is asked of the unit...
        {M::Small1A20V, "12.3V", "1.23A", std::nullopt},
        {M::Small1A20V, "25.0V", "2.50A", std::nullopt},
        {M::Small1A20V, "20.0V", "1.00A", QByteArray("200\r200\r")},
        {M::Large2A5_25V, "25.0V", "2.50A", QByteArray("250\r250\r")},
        {M::Large2A5_25V, "99.9V", "9.99A", std::nullopt},
        // ...nor for a four-digit field, which would not be a command the unit reads.
        {M::Small1A20V, "12.3V", "5.00A", std::nullopt},
        {M::Small1A20V, "12.3V", "9.99A", std::nullopt},
        // The separator and the unit letter are never looked at.
        {M::Large2A5_25V, "12,3V", "1,23A", QByteArray("123\r123\r")},
        {M::Large2A5_25V, "12x3", "1x23", QByteArray("123\r123\r")},
        // Missing or non-digit characters where they are used.
        {M::Large2A5_25V, "12.", "1.23A", std::nullopt},
        {M::Large2A5_25V, "12.3V", "1.2", std::nullopt},
        {M::Large2A5_25V, "", "", std::nullopt},
        {M::Large2A5_25V, "1 .3V", "1.23A", std::nullopt},
        {M::Large2A5_25V, "12.-V", "1.23A", std::nullopt},
        {M::Large2A5_25V, "12.3V", " .23A", std::nullopt},
        {M::Large2A5_25V, "12.3V", "1.2\rA", std::nullopt},
        {M::Large2A5_25V, "\r2.3V", "1.23A", std::nullopt},
        {M::None, "12.3V", "1.23A", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.voltage.toStdString() + " " + c.current.toStdString());
        EXPECT_EQ(MakePlaybackCommand(c.model, c.voltage, c.current).command, c.command);
    }
}

TEST(ProgramFilePath, NamesFilesInTheProgramsFolder) {
    const QString folder = QCoreApplication::applicationDirPath();
    EXPECT_EQ(ProgramFilePath("Velmora.log"), folder + "/Velmora.log");
    EXPECT_EQ(ProgramFilePath(" sub/x.dat "), folder + "/ sub/x.dat ");
    EXPECT_EQ(ProgramFilePath(""), folder + "/");
    EXPECT_EQ(ProgramFilePath("/tmp/run.dat"), "/tmp/run.dat");
}

TEST(ProgramFilePath, RelativeNamesGoToTheDocumentsWhereTheProgramsFolderIsReadOnly) {
    const FileFolders writable{"/opt/velmora", true, "/home/u/Documents/Velmora"};
    FileFolders readOnly = writable;
    readOnly.programWritable = false;
    struct Case {
        const FileFolders& folders;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {writable, "Velmora.log", "/opt/velmora/Velmora.log"},
        {writable, " sub/x.dat ", "/opt/velmora/ sub/x.dat "},
        {writable, "../up.log", "/opt/velmora/../up.log"},
        {writable, "/tmp/run.dat", "/tmp/run.dat"},
        {readOnly, "Velmora.log", "/home/u/Documents/Velmora/Velmora.log"},
        {readOnly, " sub/x.dat ", "/home/u/Documents/Velmora/ sub/x.dat "},
        {readOnly, "", "/home/u/Documents/Velmora/"},
        {readOnly, "/tmp/run.dat", "/tmp/run.dat"},
        {readOnly, "/", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ResolveFileName(QString::fromLatin1(c.name), c.folders), c.path);
    }
}
