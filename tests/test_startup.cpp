// Start-up as the main window's load handler runs it: the program's folder
// becomes the current directory (files named as typed live there), the stored
// settings are loaded and the chosen port is opened.

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

} // namespace
} // namespace velmora
