// Start-up as the main window's load handler runs it: the program's folder
// becomes the current directory (files named as typed live there), the stored
// settings are loaded and the chosen port is opened.

#include "core/command_line.h"
#include "core/message.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "link/serial_comm.h"
#include "panel/lifecycle.h"
#include "support/panel_on_pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(Startup, MovesToTheProgramsFolderLoadsTheSettingsAndOpensThePort) {
    test::PanelOnPty panel;
    test::ClearSettings();
    ResetSharedState();
    SaveSetting("NLI", "2500");
    SaveSetting("NLU", "25000");
    SaveSetting("Log", "run.log");
    SavePortMapping(2, panel.pty.slavePath());
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));

    Startup();

    EXPECT_EQ(QDir::current().canonicalPath(),
              QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    EXPECT_EQ(Shared.CurrentLimit, 2500);
    EXPECT_EQ(Shared.VoltageLimit, 25000);
    EXPECT_EQ(Shared.PortNumber, 2);
    EXPECT_EQ(Shared.RecordFileName, "run.log");
    EXPECT_EQ(Shared.ControlFileName, "Velmora.dat");
    EXPECT_TRUE(panel.form.MSComm1->PortOpen());
    EXPECT_EQ(panel.form.MSComm1->device(), panel.pty.slavePath());
    // Nothing goes to the unit at start-up.
    EXPECT_TRUE(panel.pty.readFor(1, 200).isEmpty());
}

TEST(Startup, APortThatCannotOpenLeavesTheWindowWorkingWithThePortClosed) {
    test::PanelOnPty panel;
    test::ClearSettings();
    ResetSharedState();
    SaveSetting("Com", "3");
    SavePortMapping(3, "/dev/velmora-absent");
    Startup();
    EXPECT_EQ(Shared.PortNumber, 3);
    EXPECT_FALSE(panel.form.MSComm1->PortOpen());
}

// The program shows its messages through what it installed at start; a
// message with no shower installed goes nowhere and holds nothing up.
TEST(Startup, MessagesGoToTheInstalledShower) {
    const MessageShower before = SetMessageShower({});
    ShowMessage(QStringLiteral("seen by nobody"));
    QStringList seen;
    SetMessageShower(
        [&](const QString& text, const QString& title) { seen << title + "|" + text; });
    ShowMessage(QStringLiteral("a"));
    ShowMessage(QStringLiteral("b"), QStringLiteral("Error:"));
    EXPECT_TRUE(SetMessageShower(before));
    EXPECT_EQ(seen, QStringList({"Velmora|a", "Error:|b"}));
}

// Start-up, the settings window and the tests take a model's limits from
// one table.
TEST(Startup, EachModelHasItsLimits) {
    struct Case {
        Model model;
        qint16 voltage, current;
    };
    for (const Case c : {Case{Model::Small1A20V, 20000, 1000},
                         Case{Model::Large2A5_25V, 25000, 2500}, Case{Model::None, 0, 0}}) {
        EXPECT_EQ(LimitsOf(c.model).voltage, c.voltage);
        EXPECT_EQ(LimitsOf(c.model).current, c.current);
        EXPECT_EQ(ModelFromCurrentLimit(c.current), c.model);
    }
    EXPECT_EQ(ModelFromCurrentLimit(SharedState().CurrentLimit), kDefaultModel);
}

TEST(CommandLine, TakesHelpVersionAndQtsOwnOptionsOnly) {
    using A = CommandLine::Action;
    struct Case {
        QStringList arguments;
        A action;
        const char* text; // the error line, or the start of the text printed
    };
    const Case cases[] = {
        {{}, A::Run, ""},
        {{"-platform", "offscreen"}, A::Run, ""},
        {{"--platform", "xcb", "-reverse", "-style=fusion"}, A::Run, ""},
        {{"--help"}, A::Help, "Usage: velmora [--help | --version]\n"},
        {{"-h"}, A::Help, "Usage: velmora"},
        {{"-display", ":1", "--version"}, A::Version, "velmora " VELMORA_VERSION "\n"},
        {{"--verbose"}, A::Error, "velmora: unknown option '--verbose' (see --help)"},
        {{"--verbose", "--help"}, A::Error, "velmora: unknown option '--verbose' (see --help)"},
        {{"run.log"}, A::Error, "velmora: unexpected argument 'run.log' (see --help)"},
        {{"-"}, A::Error, "velmora: unexpected argument '-' (see --help)"},
        {{"--"}, A::Error, "velmora: unexpected argument '--' (see --help)"},
        {{"-platform"}, A::Error, "velmora: option '-platform' needs a value (see --help)"},
        {{"-=x"}, A::Error, "velmora: unknown option '-=x' (see --help)"},
        {{"-style sheet"}, A::Error, "velmora: unknown option '-style sheet' (see --help)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CommandLine line = ReadCommandLine(c.arguments);
        EXPECT_EQ(line.action, c.action);
        if (c.action == A::Error || c.action == A::Run)
            EXPECT_EQ(line.text, c.text);
        else
            EXPECT_TRUE(line.text.startsWith(c.text)) << line.text.toStdString();
    }
}

} // namespace
} // namespace velmora
