// Remote control: what a client's lines do to the unit and what they answer,
// and who the server lets in.

#include "remote/remote_server.h"
#include "remote/scpi_client.h"
#include "remote/scpi_values.h"
#include "support/scpi_conversation.h"
#include "support/wait_until.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::SessionOnFakeLine;

using Conversation = test::ScpiConversation;

// Each row from a fresh session ("1A/20V", nothing sent yet): the lines in
// turn, then what went out on the line and what the last line answered.
TEST(Remote, LinesSendAndAnswerAsTheUnitTakesThem) {
    struct Case {
        QList<QByteArray> lines;
        QByteArray sent;
        QByteArray lastAnswer;
    };
    const Case cases[] = {
        {{"*IDN?"}, "", "Velmora,1A/20V,COM2,0.1\n"},
        {{"APPL 5,0.5", "APPL?"}, "050\r100\r", "5.0,0.50\n"},
        {{"VOLT 5;CURR 0.5"}, "050\r100\r", ""},            // one command for the line
        {{"sour:volt:lev:imm 12.34"}, "123\r000\r", ""},    // 0.1 V steps, nearest
        {{"CURR 0.503", "CURR?"}, "000\r101\r", "0.505\n"}, // 5 mA steps on 1A/20V
        {{"VOLT 1200 mV;:CURR 250MA"}, "012\r050\r", ""},
        {{"VOLT 30", "SYST:ERR?"},
         "",
         "-222,\"Data out of range;voltage 30.0 V is past the 1A/20V model's 20.0 V\"\n"},
        {{"VOLT 5;CURR 9"}, "", ""}, // a refused set-point sends none of the line
        {{"VOLT -1", "SYST:ERR?;SYST:ERR?"},
         "",
         "-222,\"Data out of range;voltage -1.0 V is below 0\";0,\"No error\"\n"},
        {{"VOLT MAX;CURR MIN", "VOLT?;CURR? MAX"}, "200\r000\r", "20.0;1.00\n"},
        {{"VOLT:LIM 10", "VOLT MAX", "VOLT:LIM?"}, "100\r000\r", "10.0\n"},
        {{"VOLT 15", "VOLT:LIM 10"},
         "150\r000\r100\r000\r",
         ""}, // a lower limit lowers the set-point
        {{"APPL 5,0.5", "OUTP OFF", "OUTP?", "OUTP ON", "OUTP?"},
         "050\r100\r000\r000\r050\r100\r",
         "1\n"},
        {{"APPL 5,0.5", "*RST", "OUTP?"}, "050\r100\r000\r000\r", "0\n"},
        // *RST forgets the set-points to return to: ON then has none.
        {{"APPL 5,0.5", "*RST", "OUTP ON", "OUTP?"}, "050\r100\r000\r000\r", "0\n"},
        // A line's set-points go out once it has run, whatever comes between.
        {{"VOLT 8;*IDN?;CURR 0.4"}, "080\r080\r", "Velmora,1A/20V,COM2,0.1\n"},
        {{"VOLT 8;*WAI;CURR 0.4"}, "080\r080\r", ""},
        {{"VOLT 8;VOLT?;APPL?;OUTP?"}, "080\r000\r", "8.0;8.0,0.00;1\n"},
        {{"APPL 9,0.2;VOLT:LIM 5;CURR:LIM 0.1"}, "", ""}, // past the limits at the line's end
        {{"APPL 9,0.2", "VOLT:LIM 5;CURR:LIM 0.1"}, "090\r040\r050\r020\r", ""},
        {{"VOLT 5\x01"}, "", ""}, // a control byte: nothing runs
        {{"VOLT 5;XYZ 3", "SYST:ERR?"}, "", "-113,\"Undefined header;XYZ\"\n"},
        {{"MEAS:VOLT?", "SYST:ERR?"}, "", "-230,\"Data stale;no readable frame for 2 s\"\n"},
        {{"MEAS:VOLT?;MEAS:CURR?"}, "", "9.91E+37;9.91E+37\n"}, // nothing fresh: SCPI's NaN
        {{"REC:FILE \"../up.log\"", "SYST:ERR?"},
         "",
         "-224,\"Illegal parameter value;a bare file name, without a folder\"\n"},
        {{"*TST?;SYST:VERS?;*ESR?"}, "", "0;1999.0;0\n"},
        {{"VOLT 30", "*STB?;*ESR?;*STB?"}, "", "4;16;4\n"},
    };
    for (const Case& c : cases) {
        Conversation talk;
        QByteArray answer;
        for (const QByteArray& line : c.lines)
            answer = talk.say(line);
        SCOPED_TRACE(c.lines.join(" | ").toStdString());
        EXPECT_EQ(talk.s.written(), c.sent);
        EXPECT_EQ(answer, c.lastAnswer);
    }
}

// Each row from a fresh bench of three units (1A/20V on COM2, 2.5A/25V on
// COM3 and COM4), units 1 and 2 having measured 5.0 V 0.10 A and 12.0 V
// 1.00 A: the lines in turn, then what went out on each unit's line and
// what the last line answered.
TEST(Remote, TheBenchsUnitsByNumberNameAndChannelList) {
    struct Case {
        QList<QByteArray> lines;
        QByteArrayList sent;
        QByteArray lastAnswer;
    };
    const QByteArray zero = "000\r000\r";
    const Case cases[] = {
        {{"*IDN?"}, {"", "", ""}, "Velmora,1A/20V+2.5A/25V+2.5A/25V,COM2+COM3+COM4,0.1\n"},
        {{"INST:CAT?"}, {"", "", ""}, "\"Unit 1\",\"Unit 2\",\"Unit 3\"\n"},
        {{"INST:NSEL 2;VOLT 5;INST:NSEL?;INST?"}, {"", "050\r000\r", ""}, "2;\"Unit 2\"\n"},
        {{"INST \"unit 3\"", "APPL 12,2"}, {"", "", "120\r200\r"}, ""},
        // A line's set-points go to the unit selected when they were given.
        {{"INST:NSEL 2;VOLT 5;:INST:NSEL 3;VOLT 7"}, {"", "050\r000\r", "070\r000\r"}, ""},
        {{"INST:NSEL MAX;INST:NSEL?;INST:NSEL DEF;INST:NSEL?"}, {"", "", ""}, "3;1\n"},
        {{"INST:NSEL 4;VOLT 1", "INST:NSEL?;SYST:ERR?"},
         {"010\r000\r", "", ""},
         "1;-222,\"Data out of range;unit 4: the bench has units 1 to 3\"\n"},
        {{"INST:NSEL 0", "SYST:ERR?"},
         {"", "", ""},
         "-222,\"Data out of range;unit 0: the units are numbered 1 to 8\"\n"},
        {{"INST:NSEL 1e9", "SYST:ERR?"},
         {"", "", ""},
         "-222,\"Data out of range;unit 1e9: the units are numbered 1 to 8\"\n"},
        {{"INST Nobody", "SYST:ERR?"},
         {"", "", ""},
         "-224,\"Illegal parameter value;no unit named 'Nobody' (INST:CAT? lists them)\"\n"},
        {{"OUTP OFF,(@1,3)"}, {zero, "", zero}, ""},
        {{"OUTP OFF,(@1:4)", "SYST:ERR?"},
         {"", "", ""},
         "-222,\"Data out of range;unit 4: the bench has units 1 to 3\"\n"},
        {{"OUTP OFF,(@)", "SYST:ERR?"}, {"", "", ""}, "-171,\"Invalid expression;an empty channel list or item\"\n"},
        {{"OUTP OFF,(@1:)", "SYST:ERR?"}, {"", "", ""}, "-171,\"Invalid expression;the range 1: has no last channel\"\n"},
        {{"OUTP OFF,(@8:1)", "SYST:ERR?"},
         {"", "", ""},
         "-224,\"Illegal parameter value;the range 8:1 runs downward\"\n"},
        {{"OUTP OFF,(@1,1,1)", "SYST:ERR?"},
         {"", "", ""},
         "-224,\"Illegal parameter value;channel 1 named twice\"\n"},
        {{"OUTP OFF,(@1,2", "SYST:ERR?"}, {"", "", ""}, "-171,\"Invalid expression;no closing parenthesis\"\n"},
        {{"INST:NSEL 2;APPL 5,1", "OUTP OFF,(@1:3)", "OUTP ON,(@2,3);OUTP?"},
         {zero, "050\r100\r" + zero + "050\r100\r", zero},
         "1\n"},
        {{"MEAS:VOLT? (@2,1);MEAS:VOLT?"}, {"", "", ""}, "12.0,5.0;5.0\n"},
        {{"MEAS:CURR? (@1:3)", "SYST:ERR?"},
         {"", "", ""},
         "-230,\"Data stale;Unit 3: no readable frame for 2 s\"\n"},
        {{"MEAS:POW? (@1:3)"}, {"", "", ""}, "0.500,12.000,9.91E+37\n"},
        {{"INST:COUP ALL", "VOLT 22", "SYST:ERR?"},
         {"", "", ""},
         "-222,\"Data out of range;Unit 1: voltage 22.0 V is past the 1A/20V model's 20.0 V\"\n"},
        {{"INST:COUP (@2,3)", "INST:NSEL 3;VOLT 22", "INST:COUP?"},
         {"", "220\r000\r", "220\r000\r"},
         "(@2,3)\n"},
        {{"INST:COUP ALL;INST:COUP?;:INST:COUP NONE;INST:COUP?"}, {"", "", ""}, "ALL;NONE\n"},
        {{"INST:NSEL 2", "*RST", "INST:NSEL?"}, {zero, zero, zero}, "1\n"},
        {{"OUTP:PROT:ALL ON", "OUTP:PROT:ALL?"}, {"", "", ""}, "1\n"},
        {{"INST:NSEL 2;SYST:LINK?"}, {"", "", ""}, "\"Unit 2: COM3 - /dev/ttyS2: receiving\"\n"},
    };
    for (const Case& c : cases) {
        test::BenchConversation talk(3);
        talk.bench.feedFrame(1, "050", "010");
        talk.bench.feedFrame(2, "120", "100");
        QByteArray answer;
        for (const QByteArray& line : c.lines)
            answer = talk.say(line);
        SCOPED_TRACE(c.lines.join(" | ").toStdString());
        EXPECT_EQ(talk.bench.takeWrites(), c.sent);
        EXPECT_EQ(answer.toStdString(), c.lastAnswer.toStdString());
    }
}

TEST(Remote, OpcAnswersOnceTheCommandsAskedForBeforeHaveGoneOut) {
    Conversation talk;
    talk.client.takeLine({"APPL 5,0.5;*OPC?;VOLT?", false});
    talk.s.clock.advanceMs(40);
    EXPECT_TRUE(talk.client.busy());
    EXPECT_EQ(talk.answers, QByteArray());
    talk.s.clock.advanceMs(60);
    EXPECT_FALSE(talk.client.busy());
    EXPECT_EQ(talk.answers, QByteArray("1;5.0\n"));
    EXPECT_EQ(talk.s.written(), QByteArray("050\r100\r"));
}

TEST(Remote, MeasurementsAreTheNewestFramesValues) {
    Conversation talk;
    talk.s.feedFrame("123", "123");
    EXPECT_EQ(talk.say("MEAS:VOLT?;MEAS:CURR?;FETC:POW?", 0), QByteArray("12.3;1.23;15.129\n"));
    talk.s.clock.advanceMs(2100);
    EXPECT_EQ(talk.say("MEAS:VOLT?"), QByteArray("9.91E+37\n"));
    EXPECT_EQ(talk.say("SYST:ERR?").left(4), QByteArray("-230"));
}

TEST(Remote, RecordingAndPlaybackByName) {
    Conversation talk;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    EXPECT_EQ(talk.say("PROG:FILE \"none.dat\";PROG:STAT RUN;SYST:ERR?").left(5),
              QByteArray("-257,"));
    EXPECT_EQ(talk.say("PROG:STAT?;PROG:PROG?;REC:STAT?"), QByteArray("STOP;0,0;0\n"));
}

// A limit the settings file cannot keep holds for the run, and says so: an
// error for the client, one line for a log however often it happens.
TEST(Remote, ALimitThatCannotBeStoredIsAnErrorAndSaidOnce) {
    Conversation talk;
    QStringList said;
    QObject::connect(talk.s.session.get(), &Session::settingsNotStored,
                     [&](const QString& text) { said << text; });
    QFile::remove(talk.s.storePath());
    ASSERT_TRUE(QDir().mkdir(talk.s.storePath())); // a folder where the file should be
    EXPECT_EQ(talk.say("VOLT:LIM 7;:SYST:ERR?"),
              "-200,\"Execution error;the limit holds until the program ends: " +
                  talk.s.storePath().toUtf8() + " cannot be written\"\n");
    talk.say("VOLT:LIM 8");
    EXPECT_EQ(talk.say("VOLT:LIM?"), "8.0\n");
    EXPECT_EQ(said.size(), 1);
}

TEST(RemoteValues, SetpointsLimitsAndNames) {
    const UserLimits none;
    EXPECT_EQ(RemoteCurrent(0.0075, Model::Small1A20V, none), Milliamps(8)); // the door rounds
    EXPECT_EQ(RemoteCurrent(scpi::Special::Maximum, Model::Small1A20V, {{}, Milliamps(503)}),
              Milliamps(500));
    EXPECT_EQ(RemoteVoltage(scpi::Special::Default, Model::Large2A5_25V, none), Millivolts(0));
    EXPECT_EQ(ReadVoltageLimit(Model::Small1A20V, 12.34).value, Millivolts(12300));
    EXPECT_FALSE(ReadVoltageLimit(Model::Small1A20V, 21.0).ok);
    EXPECT_EQ(IdentityAnswer({{Model::Large2A5_25V, 7}}, "0.1"),
              QByteArray("Velmora,2.5A/25V,none,0.1"));
    EXPECT_EQ(IdentityAnswer({{Model::Small1A20V, 2}, {Model::Large2A5_25V, 3}}, "0.2"),
              QByteArray("Velmora,1A/20V+2.5A/25V,COM2+COM3,0.2"));
    const QList<std::pair<const char*, const char*>> names = {
        {"run.dat", ""},
        {"Velmora log.txt", ""},
        {"a..b", ""},
        {"", "an empty file name"},
        {".", "\".\" is a folder, not a file name"},
        {"..", "\"..\" is a folder, not a file name"},
        {"../a", "a bare file name, without a folder"},
        {"a/b", "a bare file name, without a folder"},
        {"c\\d", "a bare file name, without a folder"},
        {"a\tb", "a control character in the file name"},
    };
    for (const auto& [name, problem] : names)
        EXPECT_EQ(FileNameProblem(name), problem) << name;
}

// The server over real sockets on loopback.
TEST(RemoteServer, LetsInEightClientsAndTellsWhoIsThere) {
    SessionOnFakeLine s;
    SettingsStore remoteStore(s.storePath());
    RemoteServer server(*s.session, remoteStore);
    RemoteSettings settings;
    settings.enabled = true;
    settings.port = 0; // the system's choice
    ASSERT_TRUE(server.apply(settings));
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < RemoteServer::kMaxClients + 1; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, server.port());
    }
    ASSERT_TRUE(test::WaitUntil([&] {
        return server.clients().size() == RemoteServer::kMaxClients && server.refused() == 1;
    }));
    EXPECT_EQ(server.statusLine(),
              QStringLiteral("remote: 8 clients, 127.0.0.1:%1").arg(server.port()));
    sockets.front()->write("*IDN?\n");
    ASSERT_TRUE(test::WaitUntil([&] { return sockets.front()->canReadLine(); }));
    EXPECT_EQ(sockets.front()->readLine(), QByteArray("Velmora,1A/20V,COM2,0.1\n"));
    EXPECT_TRUE(server.recentLines().last().endsWith("*IDN?"));
    sockets.clear();
    ASSERT_TRUE(test::WaitUntil([&] { return server.clients().isEmpty(); }));
    settings.enabled = false;
    server.apply(settings);
    EXPECT_FALSE(server.listening());
}

TEST(RemoteServer, AWatchdogZeroesTheOutputWhenItsClientFallsSilent) {
    SessionOnFakeLine s;
    SettingsStore remoteStore(s.storePath());
    RemoteServer server(*s.session, remoteStore);
    RemoteSettings settings;
    settings.enabled = true;
    settings.port = 0;
    ASSERT_TRUE(server.apply(settings));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    socket.write("APPL 5,0.5;:SYST:WDOG 2\n");
    ASSERT_TRUE(
        test::WaitUntil([&] { return s.session->unit().setpoints().voltage.value == 5000; }));
    s.clock.advanceMs(1900);
    EXPECT_EQ(s.session->unit().setpoints().voltage.value, 5000);
    socket.abort(); // a script that died sends nothing more
    s.clock.advanceMs(200);
    EXPECT_EQ(s.session->unit().setpoints(), (Setpoints{}));
    EXPECT_TRUE(s.written().endsWith("000\r000\r"));
    EXPECT_TRUE(server.watchdogNews().startsWith("watchdog: output zeroed after 2 s"));
}

TEST(RemoteSettingsText, ListenPlacesAndAllowedNetworks) {
    EXPECT_EQ(ParseListenPlace("5025")->first, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(ParseListenPlace("0.0.0.0:6000")->second, 6000);
    EXPECT_EQ(ParseListenPlace("[::1]:7000")->first, QHostAddress("::1"));
    for (const char* bad : {"", "x", "70000", "1.2.3.4.5:5", "+5025", "a.b:5025"})
        EXPECT_FALSE(ParseListenPlace(bad)) << bad;
    const auto allowed = ParseAllowFrom("192.168.1.0/24, 10.0.0.7");
    ASSERT_TRUE(allowed);
    EXPECT_TRUE(allowed->allows(QHostAddress("192.168.1.77")));
    EXPECT_TRUE(allowed->allows(QHostAddress("::ffff:10.0.0.7")));
    EXPECT_TRUE(allowed->allows(QHostAddress("127.0.0.1")));
    EXPECT_FALSE(allowed->allows(QHostAddress("192.168.2.1")));
    EXPECT_FALSE(ParseAllowFrom("192.168.1.0/33"));
    QStringList problems;
    const RemoteSettings s = ReadRemoteSettings("yes", "nowhere", "99999", "", &problems);
    EXPECT_FALSE(s.enabled);
    EXPECT_EQ(s.port, 5025);
    EXPECT_EQ(problems.size(), 3);
}

} // namespace
} // namespace velmora
