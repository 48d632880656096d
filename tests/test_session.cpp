// One session is one unit on one port: two in one program keep to their own
// line, set-points, model and files.

#include "support/files.h"
#include "support/session_on_fake_line.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;

TEST(Sessions, TwoInOneProgramDoNotAffectEachOther) {
    SessionOnFakeLine a, b;
    QTemporaryDir dir;
    a.session->chooseModel(Model::Large2A5_25V);
    b.session->chooseModel(Model::Small1A20V);
    ASSERT_TRUE(a.session->startRecording(dir.filePath("a.log")).started);
    b.feedFrame("123", "045");
    a.feedFrame("050", "100");

    a.session->sendSetpoints(12500, 1500);
    b.session->pressAdjust(1);
    a.clock.advanceMs(200);
    b.clock.advanceMs(200);
    b.session->releaseAdjust();
    b.clock.advanceMs(700);
    a.clock.advanceMs(700);

    EXPECT_EQ(a.written(), QByteArray("125\r150\r"));
    EXPECT_EQ(b.written(), QByteArray("010\r000\r"));
    EXPECT_EQ(a.session->setpoints(), (Setpoints{12500, 1500}));
    EXPECT_EQ(b.session->setpoints(), (Setpoints{1000, 0}));
    EXPECT_EQ(a.session->lastMeasurement()->voltageText, "05,0V");
    EXPECT_EQ(b.session->lastMeasurement()->voltageText, "12,3V");
    EXPECT_EQ(a.session->history().size(), 1);
    EXPECT_EQ(b.session->history().size(), 1);
    EXPECT_TRUE(a.session->recording());
    EXPECT_FALSE(b.session->recording());
    a.session->stopRecording();
    EXPECT_TRUE(test::ReadFile(dir.filePath("a.log")).endsWith(",\"05.0V\",\"1.00A\"\r\n"));

    a.session->zeroOutput();
    a.clock.advanceMs(100);
    EXPECT_EQ(a.written(), QByteArray("125\r150\r000\r000\r"));
    EXPECT_EQ(b.written(), QByteArray("010\r000\r"));
    EXPECT_EQ(b.session->setpoints(), (Setpoints{1000, 0}));
    EXPECT_EQ(a.session->model(), Model::Large2A5_25V);
    EXPECT_EQ(b.session->model(), Model::Small1A20V);
}

// Ending waits for the command on the line to go out whole, then nothing more.
TEST(Sessions, ShutdownLetsTheCommandOnTheLineFinishAndSendsNothingMore) {
    SessionOnFakeLine s;
    bool ended = false;
    QObject::connect(s.session.get(), &Session::ended, [&] { ended = true; });
    s.session->sendSetpoints(5000, 500);
    s.session->sendSetpoints(6000, 600);
    s.clock.advanceMs(25); // three characters of the first are out
    s.session->shutdown();
    s.session->sendSetpoints(7000, 700);
    s.session->zeroOutput();
    s.clock.advanceMs(40);
    EXPECT_FALSE(ended);
    s.clock.advanceMs(60);
    EXPECT_TRUE(ended);
    EXPECT_EQ(s.written(), QByteArray("050\r100\r"));
    s.clock.advanceMs(1000);
    EXPECT_EQ(s.written(), QByteArray("050\r100\r"));
}

} // namespace
} // namespace velmora
