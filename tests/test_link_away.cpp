// A line that goes away and comes back: what the unit missed meanwhile
// (Zero output included) goes out once it is back.

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
        {"zero output",
         [](SessionOnFakeLine& s) { s.session->unit().request(SetpointSource::ZeroOutput, {}); },
         "000\r000\r"},
        {"set values",
         [](SessionOnFakeLine& s) {
             s.session->unit().request(SetpointSource::SetValues,
                                       {Millivolts(7000), Milliamps(300)});
         },
         "070\r060\r"},
        {"a button",
         [](SessionOnFakeLine& s) {
             s.session->unit().pressAdjust(3);
             s.session->unit().releaseAdjust();
         },
         "051\r050\r"},
        {"a playback", [&](SessionOnFakeLine& s) { s.session->startPlayback(played); },
         "010\r020\r"},
        {"a model chosen", // both set-points 0, and the unit is told
         [](SessionOnFakeLine& s) { s.session->unit().chooseModel(Model::Large2A5_25V); },
         "000\r000\r"},
        {"zero output, then set values",
         [](SessionOnFakeLine& s) {
             s.session->unit().request(SetpointSource::ZeroOutput, {});
             s.session->unit().request(SetpointSource::SetValues,
                                       {Millivolts(7000), Milliamps(300)});
         },
         "070\r060\r"},
    };
    test::PtyPair device; // a terminal device at the mapped path, for the look to find
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOnFakeLine s;
        s.session->unit().mapPort(2, device.slavePath());
        s.session->unit().choosePort(2);
        ASSERT_TRUE(s.session->unit().linkOpen());
        s.session->unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(250)});
        s.clock.advanceMs(200);
        s.line->close();
        emit s.line->gone();
        s.line->clearWrites();
        c.meanwhile(s);
        s.clock.advanceMs(100);
        EXPECT_FALSE(s.session->unit().linkOpen());
        s.clock.advanceMs(5000); // the device is looked for twice a second
        EXPECT_TRUE(s.session->unit().linkOpen());
        EXPECT_EQ(s.written(), c.sent);
    }
}

// A command cut off when the line went away is not finished, but the
// set-points it carried go out whole once the line is back.
TEST(LinkAway, CommandCutOffGoesOutWholeOnceTheLineIsBack) {
    test::PtyPair device;
    SessionOnFakeLine s;
    s.session->unit().mapPort(2, device.slavePath());
    s.session->unit().choosePort(2);
    s.session->unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(250)});
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
    ASSERT_TRUE(WaitUntil([&] { return panel.session.unit().linkOpen(); }));
    panel.session.unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(250)});
    EXPECT_EQ(panel.pty.readFor(8, 3000), QByteArray("050\r050\r"));
    panel.pty.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return !panel.session.unit().linkOpen(); }));
    panel.form.zeroOutputAction()->trigger();
    test::PtyPair plugged;
    ASSERT_TRUE(panel.pointLinkAt(plugged.slavePath()));
    EXPECT_EQ(plugged.readFor(8, 5000), QByteArray("000\r000\r"));
    EXPECT_EQ(plugged.readFor(1, 700), QByteArray());
}

} // namespace
} // namespace velmora
