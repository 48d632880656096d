// Remote control of the bench with no window, by real clients: pyvisa with
// its pure-Python backend, and lxi-tools.

#include "e2e/headless.h"
#include "support/netns_lab.h"
#include "scpi/scpi_table.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

// Runs a program to its end and gives what it printed.
QByteArray RunToEnd(const QString& program, const QStringList& arguments, int* code) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(30000);
    *code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAll();
}

constexpr char kScript[] = R"(
import sys, time, pyvisa
rm = pyvisa.ResourceManager("@py")
unit = rm.open_resource("TCPIP::127.0.0.1::%1::SOCKET", read_termination="\n",
                        write_termination="\n", timeout=3000)
print(unit.query("*IDN?"))
unit.write("APPL 5,0.5")
print(unit.query("*OPC?"))
for _ in range(50):
    volts = float(unit.query("MEAS:VOLT?"))
    if abs(volts - 5.0) < 0.05:
        break
    time.sleep(0.1)
print(volts)
print(unit.query("SYST:ERR?"))
)";

TEST(Remote, PyvisaDrivesTheBenchWithNoWindow) {
    HeadlessBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ASSERT_TRUE(WriteFile(bench.path("drive.py"),
                          QByteArray(kScript).replace("%1", QByteArray::number(bench.port))));
    int code = 0;
    const QByteArray out = RunToEnd("/usr/bin/python3", {bench.path("drive.py")}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_EQ(out, "Velmora,1A/20V,COM2," VELMORA_VERSION "\n1\n5.0\n0,\"No error\"\n");
    EXPECT_EQ(bench.nextCommand(), QByteArray("050 100"));
    EXPECT_EQ(bench.nextCommand(500ms), QByteArray()) << "one command only";

    // No display and no windowing code in the process.
    const QByteArray maps = ReadFile(QStringLiteral("/proc/%1/maps").arg(bench.panelPid()));
    EXPECT_FALSE(maps.contains("libQt6Widgets")) << "Widgets loaded";
    EXPECT_FALSE(maps.contains("libQt6Gui")) << "Gui loaded";

    ::kill(pid_t(bench.panelPid()), SIGTERM);
    EXPECT_EQ(bench.waitForPanelExit(3s), 0);
    const QByteArray said = bench.panelErrors();
    for (const char* event : {"receiving", "listening on 127.0.0.1:", "connected", "signal 15"})
        EXPECT_TRUE(said.contains(event)) << event << "\n" << said.toStdString();
}

// The README's example works as written, VXI-11 found through an rpcbind of
// the test's own, in a network of its own.
TEST(Remote, TheReadmesPyvisaExampleWorksAsWritten) {
    VELMORA_IN_NETNS_LAB();
    test::LabDaemons daemons(false);
    ASSERT_TRUE(daemons.problem.isEmpty()) << daemons.problem.toStdString();
    HeadlessBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    const QByteArray readme = ReadFile(VELMORA_SOURCE_DIR "/README.md");
    const qsizetype from = readme.indexOf("    import pyvisa\n");
    const qsizetype to = readme.indexOf("    unit.close()\n", from);
    ASSERT_GE(from, 0);
    ASSERT_GT(to, from);
    QByteArray script;
    for (const QByteArray& line : readme.mid(from, to + 17 - from).split('\n'))
        script += line.mid(4) + '\n';
    ASSERT_TRUE(script.contains("TCPIP::127.0.0.1::INSTR")) << script.toStdString();
    ASSERT_TRUE(WriteFile(bench.path("example.py"), script));
    ASSERT_TRUE(WaitUntil(
        [] { return test::RunCommand("rpcinfo", {"-p", "127.0.0.1"}).contains("395183"); }, 5s))
        << bench.panelErrors().toStdString();
    int code = 0;
    const QByteArray out = RunToEnd("/usr/bin/python3", {bench.path("example.py")}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    const QList<QByteArray> lines = out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << out.toStdString();
    EXPECT_EQ(lines[0], "Velmora,1A/20V,COM2," VELMORA_VERSION);
    EXPECT_TRUE(lines[1].toDouble() >= 0 && lines[1].toDouble() < 6) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "0,\"No error\"");
    EXPECT_TRUE(bench.waitForCommand("050 100"));
}

TEST(Remote, LxiAsksTheIdentityRaw) {
    HeadlessBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    int code = 0;
    const QByteArray out = RunToEnd(
        "lxi", {"scpi", "-a", "127.0.0.1", "-p", QString::number(bench.port), "-r", "*IDN?"},
        &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "Velmora,1A/20V,COM2," VELMORA_VERSION "\n");
}

// The short form of a header: optional nodes left out, each mnemonic's
// capitals ("[SOURce:]VOLTage[:LEVel]" -> "VOLT").
QByteArray ShortForm(QByteArray header) {
    static const QRegularExpression optional(QStringLiteral("\\[[^\\]]*\\]"));
    QString text = QString::fromLatin1(header).remove(optional);
    QString out;
    for (const QChar c : text)
        if (!c.isLower()) out += c;
    return out.toLatin1();
}

// Every query of the command table through pyvisa as it comes, without an
// encoding set: each answers (nothing fresh is SCPI's not-a-number) in text
// every client can decode; the link's line too, whose dash is not ASCII.
TEST(Remote, EveryQueryAnswersInTextPyvisaDecodesByDefault) {
    HeadlessBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    QByteArray queries;
    for (const scpi::CommandInfo& c : scpi::Commands()) {
        if (c.access == scpi::Access::Command || c.id == scpi::CommandId::SystemHelpHeaders)
            continue;
        queries += "    \"" + ShortForm(c.header) + "?\",\n";
    }
    const QByteArray script = "import pyvisa\n"
                              "rm = pyvisa.ResourceManager(\"@py\")\n"
                              "unit = rm.open_resource(\"TCPIP::127.0.0.1::" +
                              QByteArray::number(bench.port) +
                              "::SOCKET\", read_termination=\"\\n\",\n"
                              "                        write_termination=\"\\n\", timeout=3000)\n"
                              "for q in [\n" +
                              queries +
                              "]:\n"
                              "    print(q, unit.query(q))\n";
    ASSERT_TRUE(WriteFile(bench.path("queries.py"), script));
    int code = 0;
    const QByteArray out = RunToEnd("/usr/bin/python3", {bench.path("queries.py")}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("SYST:LINK? \"COM2 - ")) << out.toStdString();
    EXPECT_TRUE(out.contains("FETC:AHO? ")) << out.toStdString();
}

// Each setting of [Remote] that cannot be read is said once on standard
// error, and only that entry is left out.
TEST(Remote, TheBenchSaysWhichRemoteSettingsItCannotRead) {
    HeadlessBench bench({}, "[Remote]\nPort=abc\nAllowFrom=10.0.0.0/8, garbage, 192.168.1.7\n");
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    const QByteArray said = bench.panelErrors();
    for (const char* text : {"[Remote] Port=abc is no port number from 1 to 65535",
                             "[Remote] AllowFrom: \"garbage\" is no address or network, left out"})
        EXPECT_EQ(said.count(text), 1) << text << "\n" << said.toStdString();
}

// The program runs only a panel module of its own build, and says which
// builds the two are.
TEST(Program, RefusesAPanelModuleOfAnotherBuild) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("bin") && QDir(dir.path()).mkpath("lib/velmora"));
    ASSERT_TRUE(QFile::copy(VELMORA_BIN_DIR "/velmora", dir.filePath("bin/velmora")));
    ASSERT_TRUE(QFile::copy(VELMORA_BIN_DIR "/../tests/modules/velmora_panel_of_another_build.so",
                            dir.filePath("lib/velmora/velmora-panel.so")));
    int code = 0;
    const QByteArray out = RunToEnd(dir.filePath("bin/velmora"), {}, &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(out.startsWith("velmora: the panel's module is of build 0.0-another, the program "
                               "of build " VELMORA_VERSION "-"))
        << out.toStdString();
}

// A listening place that cannot be read stops the run before anything opens.
TEST(Remote, AnUnreadableListeningPlaceEndsTheRunWithItsReason) {
    for (const QStringList& arguments :
         {QStringList{"--remote", "nonsense"}, QStringList{"--headless", "--remote", "70000"},
          QStringList{"--headless", "--remote", "0.0.0.0:"}}) {
        int code = 0;
        const QByteArray out = RunToEnd(QString(VELMORA_BIN_DIR) + "/velmora", arguments, &code);
        EXPECT_EQ(code, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(out.startsWith("velmora: --remote takes [ADDRESS:]PORT")) << out.toStdString();
    }
}

} // namespace
} // namespace velmora::e2e
