// A line that goes away and comes back: what the unit missed meanwhile
// (Zero output included) goes out once it is back.

#include "link/serial_comm.h"
#include "panel/form1.h"
#include "session/session.h"
#include "support/files.h"
#include "support/panel_on_pty.h"
#include "support/print_qt.h"
#include "support/pty_pair.h"
#include "support/session_on_fake_line.h"
#include "support/wait_until.h"

#include <QAction>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;
using test::WaitUntil;

// The unit misses what is asked of it while its line is away (Zero output
// included): once the line is back, what was last asked goes out, once.
TEST(LinkAway, WhatWasAskedMeanwhileGoesOutOnceTheLineIsBack) {
    QTemporaryDir dir;
    const QString played = dir.filePath("run.dat");
    ASSERT_TRUE(test::WriteFile(played, "#2020-01-02 03:04:05#,\"01.0V\",\"0.10A\"\r\n"));
    struct Case {
        const char* name;
        std::function<void(SessionOnFakeLine&)> meanwhile;
        QByteArray sent; // once the line is back
    };
    const Case cases[] = {
        {"nothing", [](SessionOnFakeLine&) {}, ""},
        {"zero output", [](SessionOnFakeLine& s) { s.session->zeroOutput(); }, "000\r000\r"},
        {"set values", [](SessionOnFakeLine& s) { s.session->sendSetpoints(7000, 300); },
         "070\r060\r"},
        {"a button",
         [](SessionOnFakeLine& s) {
             s.session->pressAdjust(3);
             s.session->releaseAdjust();
         },
         "051\r050\r"},
        {"a playback", [&](SessionOnFakeLine& s) { s.session->startPlayback(played); },
         "010\r020\r"},
        {"a model chosen", // the unit keeps its set-points
         [](SessionOnFakeLine& s) { s.session->chooseModel(Model::Large2A5_25V); }, ""},
        {"zero output, then set values",
         [](SessionOnFakeLine& s) {
             s.session->zeroOutput();
             s.session->sendSetpoints(7000, 300);
         },
         "070\r060\r"},
    };
    test::PtyPair device; // a terminal device at the mapped path, for the look to find
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOnFakeLine s;
        s.session->mapPort(2, device.slavePath());
        s.session->choosePort(2);
        ASSERT_TRUE(s.session->MSComm1().PortOpen());
        s.session->sendSetpoints(5000, 250);
        s.clock.advanceMs(200);
        s.line->close();
        emit s.line->gone();
        s.line->clearWrites();
        c.meanwhile(s);
        s.clock.advanceMs(100);
        EXPECT_FALSE(s.session->MSComm1().PortOpen());
        s.clock.advanceMs(5000); // the device is looked for twice a second
        EXPECT_TRUE(s.session->MSComm1().PortOpen());
        EXPECT_EQ(s.written(), c.sent);
    }
}

// A command cut off when the line went away is not finished, but the
// set-points it carried go out whole once the line is back.
TEST(LinkAway, CommandCutOffGoesOutWholeOnceTheLineIsBack) {
    test::PtyPair device;
    SessionOnFakeLine s;
    s.session->mapPort(2, device.slavePath());
    s.session->choosePort(2);
    s.session->sendSetpoints(5000, 250);
    s.clock.advanceMs(35);
    s.line->close();
    emit s.line->gone();
    EXPECT_EQ(s.written(), QByteArray("050\r"));
    s.clock.advanceMs(5000);
    EXPECT_EQ(s.written(), QByteArray("050\r050\r050\r"));
}

// The same on a pseudo-terminal that hangs up, and a new one the port's
// link then points at, as an adapter pulled and plugged in again.
TEST(LinkAway, ZeroOutputReachesTheUnitThatComesBack) {
    test::PanelOnPty panel;
    ASSERT_TRUE(panel.openCom2ThroughLink(panel.pty.slavePath()));
    ASSERT_TRUE(WaitUntil([&] { return panel.session.MSComm1().PortOpen(); }));
    panel.session.sendSetpoints(5000, 250);
    EXPECT_EQ(panel.pty.readFor(8, 3000), QByteArray("050\r050\r"));
    panel.pty.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return !panel.session.MSComm1().PortOpen(); }));
    panel.form.zeroOutputAction()->trigger();
    test::PtyPair plugged;
    ASSERT_TRUE(panel.pointLinkAt(plugged.slavePath()));
    EXPECT_EQ(plugged.readFor(8, 5000), QByteArray("000\r000\r"));
    EXPECT_EQ(plugged.readFor(1, 700), QByteArray());
}

} // namespace
} // namespace velmora
