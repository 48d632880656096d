// Start-up as the session runs it: the stored settings are loaded and the
// chosen port is opened on the device it stands for; nothing goes to the
// unit. And the command line the program takes.

#include "core/command_line.h"
#include "core/constants.h"
#include "core/settings_store.h"
#include "session/session.h"
#include "support/fake_clock.h"
#include "support/fake_line.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::FakeClock;
using test::FakeLine;
using test::Said;

/// A session on a FakeLine over a settings file the test fills first.
struct StartingSession {
    explicit StartingSession(const QStringList& stored,
                             std::unique_ptr<SerialLine> realLine = nullptr) {
        test::SessionOnFakeLine::Store(path(), stored);
        std::unique_ptr<SerialLine> serial = std::move(realLine);
        if (!serial) {
            auto fake = std::make_unique<FakeLine>(&clock);
            line = fake.get();
            serial = std::move(fake);
        }
        session = std::make_unique<Session>(clock, std::move(serial), SettingsStore(path()));
        QObject::connect(session.get(), &Session::message,
                         [this](const QString& text, const QString& title) {
                             said.append({title, text});
                         });
    }
    QString path() const { return dir.filePath(QStringLiteral("Tarnholm.conf")); }

    QTemporaryDir dir;
    FakeClock clock;
    FakeLine* line = nullptr;
    std::unique_ptr<Session> session;
    QList<Said> said;
};

TEST(Startup, LoadsTheSettingsAndOpensThePortOnItsDevice) {
    StartingSession s({"Netzteil/NLI=2500", "Netzteil/NLU=25000", "Netzteil/Log=run.log",
                       "Ports/COM2=/dev/ttyUSB7", "Ports/COM3=/dev/ttyUSB8"});
    Session& session = *s.session;
    EXPECT_FALSE(session.unit().linkOpen()); // nothing before start
    session.start();
    EXPECT_EQ(session.unit().limits(), (Limits{Millivolts(25000), Milliamps(2500)}));
    EXPECT_EQ(session.unit().model(), Model::Large2A5_25V);
    EXPECT_EQ(session.unit().port(), 2);
    EXPECT_EQ(session.recordFileName(), "run.log");
    EXPECT_EQ(session.controlFileName(), "Velmora.dat");
    EXPECT_EQ(session.unit().setpoints(), (Setpoints{Millivolts(0), Milliamps(0)}));
    ASSERT_TRUE(session.unit().linkOpen());
    EXPECT_EQ(s.line->openedDevice(), "/dev/ttyUSB7");
    EXPECT_EQ(session.unit().linkStatus().port, 2);
    EXPECT_EQ(session.unit().linkStatus().state, LinkState::Open);
    // Nothing goes to the unit at start-up, and nothing is said.
    s.clock.advanceMs(5000);
    EXPECT_TRUE(s.line->writes().isEmpty());
    EXPECT_TRUE(s.said.isEmpty());
}

TEST(Startup, AFirstRunTakesTheDefaultModelOnCom2) {
    StartingSession s({});
    s.session->start();
    EXPECT_EQ(s.session->unit().model(), kDefaultModel);
    EXPECT_EQ(s.session->unit().limits(), LimitsOf(kDefaultModel));
    EXPECT_EQ(s.session->unit().port(), 2);
    EXPECT_EQ(s.line->openedDevice(), "/dev/ttyS1");
}

// The device is not there (the real line, on a name no device has): the
// port stays closed, nothing is said, and the session goes on working: the
// set-points are taken, and the link says what it waits for.
TEST(Startup, APortThatCannotOpenLeavesTheSessionWorkingWithThePortClosed) {
    StartingSession s({"Netzteil/Com=3", "Ports/COM3=/dev/velmora-absent"}, MakeQtSerialLine());
    Session& session = *s.session;
    session.start();
    EXPECT_EQ(session.unit().port(), 3);
    EXPECT_FALSE(session.unit().linkOpen());
    EXPECT_EQ(session.unit().linkStatus().state, LinkState::Waiting);
    EXPECT_EQ(session.unit().linkStatus().device, "/dev/velmora-absent");
    EXPECT_EQ(session.unit()
                  .request(SetpointSource::SetValues, {Millivolts(5100), Milliamps(500)})
                  .verdict,
              DoorAnswer::Verdict::Queued);
    EXPECT_EQ(session.unit().setpoints(), (Setpoints{Millivolts(5100), Milliamps(500)}));
    s.clock.advanceMs(3000);
    EXPECT_FALSE(session.unit().linkOpen());
    EXPECT_TRUE(s.said.isEmpty());
    // And it ends without waiting for the line: nothing is on it.
    bool ended = false;
    QObject::connect(&session, &Session::ended, [&] { ended = true; });
    session.shutdown();
    s.clock.advanceMs(100);
    EXPECT_TRUE(ended);
}

// The session's messages carry their title; with no one listening a message
// goes nowhere and holds nothing up.
TEST(Startup, MessagesGoToWhoeverListens) {
    StartingSession s({"Netzteil/NLI=1500"});
    s.session->start();
    EXPECT_EQ(s.session->unit().model(), Model::None);
    EXPECT_EQ(s.session->unit()
                  .request(SetpointSource::SetValues, {Millivolts(5100), Milliamps(500)})
                  .verdict,
              DoorAnswer::Verdict::NoModel);
    EXPECT_EQ(s.said, (QList<Said>{{QString(kErrorTitle), QString(kMsgVersionIsNotDefined)}}));
    QObject::disconnect(s.session.get(), &Session::message, nullptr, nullptr);
    EXPECT_EQ(s.session->unit()
                  .request(SetpointSource::SetValues, {Millivolts(5100), Milliamps(500)})
                  .verdict,
              DoorAnswer::Verdict::NoModel);
    EXPECT_EQ(s.said.size(), 1);
    EXPECT_TRUE(s.line->writes().isEmpty());
}

// Start-up, the settings window and the tests take a model's limits from
// one table.
TEST(Startup, EachModelHasItsLimits) {
    struct Case {
        Model model;
        int voltage, current;
    };
    for (const Case c : {Case{Model::Small1A20V, 20000, 1000},
                         Case{Model::Large2A5_25V, 25000, 2500}, Case{Model::None, 0, 0}}) {
        EXPECT_EQ(LimitsOf(c.model).voltage, Millivolts(c.voltage));
        EXPECT_EQ(LimitsOf(c.model).current, Milliamps(c.current));
        EXPECT_EQ(ModelFromCurrentLimit(Milliamps(c.current)), c.model);
    }
    EXPECT_EQ(ModelFromCurrentLimit(StoredSettings().currentLimit), kDefaultModel);
}

TEST(CommandLine, TakesHelpVersionAndQtsOwnOptionsOnly) {
    using A = CommandLine::Action;
    struct Case {
        QStringList arguments;
        A action;
        const char* text; // the error line, or the start of the text printed
        bool headless = false;
        const char* remote = "";
    };
    const Case cases[] = {
        {{}, A::Run, ""},
        {{"-platform", "offscreen"}, A::Run, ""},
        {{"--platform", "xcb", "-reverse", "-style=fusion"}, A::Run, ""},
        {{"--help"},
         A::Help,
         "Usage: velmora [--headless [--run FILE [--unit N]]] [--remote [ADDRESS:]PORT]\n"},
        {{"--headless"}, A::Run, "", true},
        {{"--headless", "--remote", "0.0.0.0:5025"}, A::Run, "", true, "0.0.0.0:5025"},
        {{"--remote=5025"}, A::Run, "", false, "5025"},
        {{"--headless", "--run", "charge.run"}, A::Run, "", true},
        {{"--run", "charge.run"},
         A::Error,
         "velmora: option '--run' runs with --headless only; the panel has \"Runs...\" in its "
         "menu (see --help)"},
        {{"--headless", "--run", "a.run", "--unit", "3"}, A::Run, "", true},
        {{"--headless", "--unit=9", "--run", "a.run"},
         A::Error,
         "velmora: option '--unit' needs a unit's number, 1 to 8 (see --help)"},
        {{"--headless", "--unit", "2"},
         A::Error,
         "velmora: option '--unit' names the unit --run runs on; without --run it means nothing "
         "(see --help)"},
        {{"--headless", "--run"},
         A::Error,
         "velmora: option '--run' needs a run file (see --help)"},
        {{"--remote"}, A::Error, "velmora: option '--remote' needs [ADDRESS:]PORT (see --help)"},
        {{"--remote="}, A::Error, "velmora: option '--remote' needs [ADDRESS:]PORT (see --help)"},
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
        EXPECT_EQ(line.headless, c.headless);
        EXPECT_EQ(line.remote, QString::fromLatin1(c.remote));
        if (c.action == A::Error || c.action == A::Run)
            EXPECT_EQ(line.text, c.text);
        else
            EXPECT_TRUE(line.text.startsWith(c.text)) << line.text.toStdString();
    }
}

} // namespace
} // namespace velmora
