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
    a.session->unit().chooseModel(Model::Large2A5_25V);
    b.session->unit().chooseModel(Model::Small1A20V);
    a.clock.advanceMs(100); // the zeros the models' choices send
    b.clock.advanceMs(100);
    a.line->clearWrites();
    b.line->clearWrites();
    ASSERT_TRUE(a.session->startRecording(dir.filePath("a.log")).started);
    b.feedFrame("123", "045");
    a.feedFrame("050", "100");

    a.session->unit().request(SetpointSource::SetValues, {Millivolts(12500), Milliamps(1500)});
    b.session->unit().pressAdjust(1);
    a.clock.advanceMs(200);
    b.clock.advanceMs(200);
    b.session->unit().releaseAdjust();
    b.clock.advanceMs(700);
    a.clock.advanceMs(700);

    EXPECT_EQ(a.written(), QByteArray("125\r150\r"));
    EXPECT_EQ(b.written(), QByteArray("010\r000\r"));
    EXPECT_EQ(a.session->unit().setpoints(), (Setpoints{Millivolts(12500), Milliamps(1500)}));
    EXPECT_EQ(b.session->unit().setpoints(), (Setpoints{Millivolts(1000), Milliamps(0)}));
    EXPECT_EQ(a.session->lastMeasurement()->voltageText, "05,0V");
    EXPECT_EQ(b.session->lastMeasurement()->voltageText, "12,3V");
    EXPECT_EQ(a.session->history().size(), 1);
    EXPECT_EQ(b.session->history().size(), 1);
    EXPECT_TRUE(a.session->recording());
    EXPECT_FALSE(b.session->recording());
    a.session->stopRecording();
    EXPECT_TRUE(test::ReadFile(dir.filePath("a.log")).endsWith(",\"05.0V\",\"1.00A\"\r\n"));

    a.session->unit().request(SetpointSource::ZeroOutput, {});
    a.clock.advanceMs(100);
    EXPECT_EQ(a.written(), QByteArray("125\r150\r000\r000\r"));
    EXPECT_EQ(b.written(), QByteArray("010\r000\r"));
    EXPECT_EQ(b.session->unit().setpoints(), (Setpoints{Millivolts(1000), Milliamps(0)}));
    EXPECT_EQ(a.session->unit().model(), Model::Large2A5_25V);
    EXPECT_EQ(b.session->unit().model(), Model::Small1A20V);
}

// Ending waits for the command on the line to go out whole, then nothing more.
TEST(Sessions, ShutdownLetsTheCommandOnTheLineFinishAndSendsNothingMore) {
    SessionOnFakeLine s;
    bool ended = false;
    QObject::connect(s.session.get(), &Session::ended, [&] { ended = true; });
    s.session->unit().request(SetpointSource::SetValues, {Millivolts(5000), Milliamps(500)});
    s.session->unit().request(SetpointSource::SetValues, {Millivolts(6000), Milliamps(600)});
    s.clock.advanceMs(25); // three characters of the first are out
    s.session->shutdown();
    s.session->unit().request(SetpointSource::SetValues, {Millivolts(7000), Milliamps(700)});
    s.session->unit().request(SetpointSource::ZeroOutput, {});
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
