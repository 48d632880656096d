// velmora-files writes its outputs whole or not at all: the program itself
// run on a file that may not grow (as on a full disk), on a full standard
// output, on targets that are not regular files and on its own inputs; and
// its help, which tells the exit statuses as the manual page does.

#include "support/files.h"
#include "support/print_qt.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace velmora::test;

namespace {

const QByteArray kRecords = "#2024-03-05 14:07:09#,\"12.3V\",\"1.23A\"\r\n"
                            "#2024-03-05 14:07:10#,\"12.4V\",\"1.23A\"\r\n"
                            "#2024-03-05 14:07:12#,\"12.4V\",\"1.25A\"\r\n";

const QByteArray kList = "5.0 0.40 10\n12.3 1.5 5\n";

// In the child: no file may grow past `bytes`, as on a nearly full disk;
// the write past it fails rather than ending the program.
std::function<void()> FileSizeLimit(rlim_t bytes) {
    return [bytes] {
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    };
}

// The type and permissions of a file, links not followed.
mode_t Mode(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
}

class FilesOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFile(path("rec.log"), kRecords));
        ASSERT_TRUE(WriteFile(path("list.txt"), kList));
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    // {REC}, {LIST}, {OUT} stand for the files of the folder, {DIR} for the folder.
    QString named(QString text) const {
        return text.replace("{REC}", path("rec.log"))
            .replace("{LIST}", path("list.txt"))
            .replace("{OUT}", path("out"))
            .replace("{DIR}", dir.path());
    }
    QStringList named(const QStringList& args) const {
        QStringList all;
        for (const QString& arg : args)
            all << named(arg);
        return all;
    }
    // Everything in the folder, hidden files too.
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
};

// The exit statuses as `--help` gives them ("  2  text", continued on lines
// indented further) and as the manual page does (".TP", ".B 2", text lines):
// each status with its text on one line.
QStringList HelpStatuses(const QString& help) {
    QStringList statuses;
    const QString section = help.section(QStringLiteral("exit status:\n"), 1);
    for (const QString& line : section.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.at(2) != u' ')
            statuses << line.simplified();
        else if (!statuses.isEmpty())
            statuses.last() += u' ' + line.simplified();
    }
    return statuses;
}

QStringList ManualStatuses(const QString& page) {
    QStringList statuses;
    const QString section = page.section(QStringLiteral(".SH \"EXIT STATUS\"\n"), 1)
                                .section(QStringLiteral(".SH"), 0, 0);
    for (const QString& line : section.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral(".B ")))
            statuses << line.mid(3);
        else if (!line.startsWith(u'.') && !statuses.isEmpty())
            statuses.last() +=
                u' ' + QString(line).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    }
    return statuses;
}

} // namespace

TEST_F(FilesOutput, AFailedWriteLeavesTheTargetAsItWasAndSaysWhy) {
    const QStringList start = {"--start", "2027-01-01 08:00:00"};
    const struct {
        QStringList args;
        rlim_t limit; // 0: none
        const char* standardOutput;
        const char* message;
    } cases[] = {
        {QStringList{"csv", "{REC}", "-o", "{OUT}"}, 10, nullptr,
         "velmora-files csv: cannot write {OUT}: File too large\n"},
        {QStringList{"retime", "{REC}", "-o", "{OUT}"} << start, 10, nullptr,
         "velmora-files retime: cannot write {OUT}: File too large\n"},
        {QStringList{"plan", "{LIST}", "-o", "{OUT}"} << start, 10, nullptr,
         "velmora-files plan: cannot write {OUT}: File too large\n"},
        {QStringList{"png", "{REC}", "-o", "{OUT}"}, 1000, nullptr,
         "velmora-files png: cannot write {OUT}: File too large\n"},
        {QStringList{"svg", "{REC}", "-o", "{OUT}"}, 1000, nullptr,
         "velmora-files svg: cannot write {OUT}: File too large\n"},
        {QStringList{"csv", "{REC}"}, 0, "/dev/full",
         "velmora-files csv: cannot write standard output: No space left on device\n"},
        {QStringList{"retime", "{REC}"} << start, 0, "/dev/full",
         "velmora-files retime: cannot write standard output: No space left on device\n"},
        {QStringList{"plan", "{LIST}"} << start, 0, "/dev/full",
         "velmora-files plan: cannot write standard output: No space left on device\n"},
        {QStringList{"check", "{REC}", "--model", "1A/20V"}, 0, "/dev/full",
         "velmora-files check: cannot write standard output: No space left on device\n"},
        {QStringList{"--help"}, 0, "/dev/full",
         "velmora-files: cannot write standard output: No space left on device\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        ASSERT_TRUE(WriteFile(path("out"), "as it was\n"));
        const QStringList before = entries();
        const FilesRun run = RunFiles(named(c.args), c.limit ? FileSizeLimit(c.limit) : nullptr,
                                      c.standardOutput ? c.standardOutput : QString());
        EXPECT_EQ(run.exitCode, 2);
        // Qt may warn first, when it makes the application that draws.
        EXPECT_TRUE(run.err.endsWith(named(c.message).toLocal8Bit())) << run.err.toStdString();
        EXPECT_EQ(ReadFile(path("out")), "as it was\n");
        EXPECT_EQ(entries(), before);
    }
}

TEST_F(FilesOutput, ATargetThatARenameWouldDestroyIsRefused) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const struct {
        const char* target;
        const char* message;
    } cases[] = {
        {"fifo", "velmora-files csv: cannot write {DIR}/fifo: not a regular file\n"},
        {"folder", "velmora-files csv: cannot write {DIR}/folder: it is a folder\n"},
        {"missing/out.csv",
         "velmora-files csv: cannot write {DIR}/missing/out.csv: No such file or directory\n"},
    };
    const QStringList before = entries();
    for (const auto& c : cases) {
        const FilesRun run = RunFiles({"csv", path("rec.log"), "-o", path(c.target)});
        EXPECT_EQ(run.exitCode, 2) << c.target;
        EXPECT_EQ(run.err, QString(c.message).replace("{DIR}", dir.path()).toLocal8Bit());
    }
    EXPECT_EQ(entries(), before);
    EXPECT_TRUE(S_ISFIFO(Mode(path("fifo"))));
    EXPECT_TRUE(S_ISDIR(Mode(path("folder"))));
}

TEST_F(FilesOutput, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsWritten) {
    ASSERT_TRUE(QFile::link(path("rec.log"), path("link")));
    ASSERT_EQ(::link(QFile::encodeName(path("rec.log")).constData(),
                     QFile::encodeName(path("hard")).constData()),
              0);
    const QStringList start = {"--start", "2027-01-01 08:00:00"};
    const struct {
        QStringList args;
        const char* appendedTo; // standard output
        const char* message;
    } cases[] = {
        {{"csv", "{REC}", "-o", "{REC}"},
         nullptr,
         "velmora-files csv: cannot write {REC}: it is the input file {REC}\n"},
        {QStringList{"retime", "{REC}", "-o", "{REC}"} << start, nullptr,
         "velmora-files retime: cannot write {REC}: it is the input file {REC}\n"},
        {QStringList{"plan", "{LIST}", "-o", "{LIST}"} << start, nullptr,
         "velmora-files plan: cannot write {LIST}: it is the input file {LIST}\n"},
        {{"csv", "{REC}", "-o", "{DIR}/link"},
         nullptr,
         "velmora-files csv: cannot write {DIR}/link: it is the input file {REC}\n"},
        {QStringList{"retime", "{DIR}/link", "-o", "{DIR}/hard"} << start, nullptr,
         "velmora-files retime: cannot write {DIR}/hard: it is the input file {DIR}/link\n"},
        {{"png", "{REC}", "-o", "{DIR}/hard"},
         nullptr,
         "velmora-files png: cannot write {DIR}/hard: it is the input file {REC}\n"},
        {{"svg", "{DIR}/hard", "-o", "{REC}"},
         nullptr,
         "velmora-files svg: cannot write {REC}: it is the input file {DIR}/hard\n"},
        {{"csv", "{REC}"},
         "hard",
         "velmora-files csv: cannot write standard output: it is the input file {REC}\n"},
    };
    const QStringList before = entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const FilesRun run = RunFiles(
            named(c.args), {}, c.appendedTo ? path(c.appendedTo) : QString(), QIODevice::Append);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.endsWith(named(c.message).toLocal8Bit())) << run.err.toStdString();
        EXPECT_EQ(ReadFile(path("rec.log")), kRecords);
        EXPECT_EQ(ReadFile(path("list.txt")), kList);
        EXPECT_EQ(entries(), before);
    }
}

TEST_F(FilesOutput, ReplacesTheFileALinkNamesKeepingItsPermissions) {
    ASSERT_TRUE(WriteFile(path("out"), "as it was\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(path("out")).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(path("out"), path("link")));
    const FilesRun run = RunFiles({"csv", path("rec.log"), "-o", path("link")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(ReadFile(path("out")).startsWith("time,voltage_V,current_A,power_W\n"));
    EXPECT_TRUE(S_ISLNK(Mode(path("link"))));
    EXPECT_EQ(Mode(path("out")), S_IFREG | 0640);
    EXPECT_EQ(entries(), (QStringList{"link", "list.txt", "out", "rec.log"}));
}

TEST(FilesHelp, ListsTheExitStatusesAsTheManualPageDoes) {
    const FilesRun help = RunFiles({"--help"});
    ASSERT_EQ(help.exitCode, 0);
    const QStringList statuses = HelpStatuses(QString::fromUtf8(help.out));
    ASSERT_EQ(statuses.size(), 3) << help.out.toStdString();
    EXPECT_TRUE(statuses[0].startsWith("0 ") && statuses[1].startsWith("1 ") &&
                statuses[2].startsWith("2 "));
    const QByteArray page = ReadFile(VELMORA_SOURCE_DIR "/packaging/man/velmora-files.1.in");
    EXPECT_EQ(ManualStatuses(QString::fromUtf8(page)), statuses);
}

TEST(FilesReport, DrawsARunReportFolderWithoutADisplay) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("charge-20261208-143000");
    ASSERT_TRUE(QDir().mkpath(folder));
    QByteArray rows = "time_s,voltage_V,current_A,power_W,charge_Ah,energy_Wh,step,regulation\n";
    for (int i = 0; i < 300; ++i)
        rows += QString::asprintf("%d.%03d,4.2,%d.%02d,0.000,0.000000,0.000000,%d,CV\n", i / 10,
                                  i % 10 * 100, 0, 50 - i / 7, i < 200 ? 1 : 2)
                    .toLatin1();
    ASSERT_TRUE(WriteFile(folder + "/measurements.csv", rows + "garbage\n"));
    ASSERT_TRUE(WriteFile(folder + "/sweep-3.csv", "set,voltage_V,current_A,power_W,regulation\n"
                                                   "1,1.000,0.1000,0.1000,CV\n2,,,,\n"
                                                   "3,2.500,0.3000,0.7500,CC\n"));
    ASSERT_TRUE(WriteFile(folder + "/summary.json", "{\"steps\": [{\"number\": 1, \"text\": "
                                                    "\"set 4.2 V 0.5 A until I < 0.05 A\"}]}"));
    const FilesRun run = RunFiles({"report", folder});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith("\nleft out 1 of 301 rows of measurements.csv\n") ||
                run.err == "left out 1 of 301 rows of measurements.csv\n")
        << run.err.toStdString();
    EXPECT_TRUE(ReadFile(folder + "/plot.png").startsWith("\x89PNG\r\n"));
    EXPECT_TRUE(ReadFile(folder + "/plot.svg").contains("<svg"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 5) << "no temporary file is left";

    const struct {
        QStringList args;
        const char* message;
    } refused[] = {
        {{"report", dir.path()}, "holds no measurements.csv: not a run's report\n"},
        {{"report", folder, "--size", "10x10"}, "--size wants WIDTHxHEIGHT, 16 to 20000 each\n"},
        {{"report"}, "give one report folder\n"},
    };
    for (const auto& c : refused) {
        const FilesRun bad = RunFiles(c.args);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_TRUE(bad.err.endsWith(c.message)) << bad.err.toStdString();
        EXPECT_EQ(bad.err.count('\n'), 1);
    }
}
