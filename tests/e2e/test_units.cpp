// Several units side by side: three simulated units on their own
// pseudo-terminals, the bench with no window and by remote control, and
// the panel's windows. The simulators stamp each command with the monotonic
// clock, so the tests see how far apart two units' commands started.

#include "e2e/headless.h"

#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

using Clock = std::chrono::steady_clock;

/// A command a stamped simulator reported: when its first character came
/// (monotonic ms) and its fields ("030 100").
struct Stamped {
    long long ms = -1;
    QByteArray fields;
};

Stamped NextStamped(test::SimProcess& sim, milliseconds timeout = 5s) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto line = sim.readLine(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
        if (!line) break;
        const QByteArray l = QByteArray::fromStdString(*line);
        const qsizetype at = l.indexOf(" command ");
        if (at > 0) return {l.left(at).toLongLong(), l.mid(at + 9, 7)};
    }
    return {};
}

long long NowMs() {
    return std::chrono::duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
}

/// Units 2 and 3 beside the bench's unit 1, each a simulator of its own.
struct ThreeUnits {
    explicit ThreeUnits(PanelRun& run) {
        for (int n = 2; n <= 3; ++n)
            sims.push_back(std::make_unique<test::SimProcess>(std::vector<std::string>{
                "--rate", "20", "--settle", "0.05", "--stamp", "--model", "2,5A/25V", "--link",
                run.path(QStringLiteral("unit%1").arg(n)).toStdString()}));
    }
    static QByteArray Settings(const PanelRun& run) {
        QByteArray s = "[Netzteil]\nNLU=20000\nNLI=1000\n";
        for (int n = 2; n <= 3; ++n)
            s += QStringLiteral("[Unit%1]\nCom=%2\nNLU=25000\nNLI=2500\nLog=%3\nDat=%4\n")
                     .arg(n)
                     .arg(n + 1)
                     .arg(run.path(QStringLiteral("record%1.txt").arg(n)),
                          run.path(QStringLiteral("control%1.txt").arg(n)))
                     .toUtf8();
        s += "[Ports]\nCOM3=" + run.path("unit2").toUtf8() + "\nCOM4=" + run.path("unit3").toUtf8() +
             "\n";
        return s;
    }
    std::vector<std::unique_ptr<test::SimProcess>> sims;
};

struct StampedBench : Session {
    StampedBench() : Session({"--stamp"}), units(*this), port(FreePort()) {
        started = startProgram({"--headless", "--remote", QString::number(port)},
                               ThreeUnits::Settings(*this)) &&
                  WaitUntil([&] { return panelErrors().contains("listening on"); }, 5s);
    }
    test::SimProcess& unit(int n) { return n == 1 ? sim() : *units.sims.at(std::size_t(n - 2)); }
    ThreeUnits units;
    quint16 port;
    bool started = false;
};

TEST(Units, ThreeUnitsByRemoteControlEachOnItsOwnLine) {
    StampedBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ScpiLine remote(bench.port);
    EXPECT_EQ(remote.ask("*IDN?"),
              "Velmora,1A/20V+2.5A/25V+2.5A/25V,COM2+COM3+COM4," VELMORA_VERSION);
    EXPECT_EQ(remote.ask("INST:CAT?"), "\"Unit 1\",\"Unit 2\",\"Unit 3\"");
    remote.send("APPL 5,0.5;:INST:NSEL 2;APPL 12,2;:INST 'Unit 3';APPL 3,2");
    EXPECT_EQ(NextStamped(bench.unit(1)).fields, "050 100");
    EXPECT_EQ(NextStamped(bench.unit(2)).fields, "120 200");
    EXPECT_EQ(NextStamped(bench.unit(3)).fields, "030 200");
    QByteArray measured;
    EXPECT_TRUE(WaitUntil([&] { return (measured = remote.ask("MEAS:VOLT? (@1:3)")) == "5.0,12.0,3.0"; }, 5s))
        << measured.toStdString();

    // Both lines idle: both zero commands start within 2 ms of each other.
    remote.send("OUTP OFF,(@1,2)");
    const Stamped one = NextStamped(bench.unit(1)), two = NextStamped(bench.unit(2));
    EXPECT_EQ(one.fields, "000 000");
    EXPECT_EQ(two.fields, "000 000");
    EXPECT_LE(std::abs(one.ms - two.ms), 2) << one.ms << " and " << two.ms;
    std::cerr << "OUTP OFF,(@1,2): the zeroes started " << std::abs(one.ms - two.ms)
              << " ms apart\n";

    // A command on unit 1's line does not hold unit 3's zero back.
    long long best = 1'000'000;
    for (int attempt = 0; attempt < 5 && best > 2; ++attempt) {
        remote.send(attempt % 2 ? "INST:NSEL 1;APPL 5,0.5" : "INST:NSEL 1;APPL 6,0.5");
        const Stamped busy = NextStamped(bench.unit(1));
        ASSERT_FALSE(busy.fields.isEmpty());
        // The command lasts 8 characters at the unit's pace: it is on the
        // line for some tens of milliseconds after its first character.
        const long long asked = NowMs();
        remote.send("OUTP OFF,(@3)");
        const Stamped zero = NextStamped(bench.unit(3));
        ASSERT_EQ(zero.fields, "000 000");
        EXPECT_GT(zero.ms, busy.ms);
        best = std::min(best, zero.ms - asked);
        remote.send("INST:NSEL 3;APPL 3,2");
        ASSERT_EQ(NextStamped(bench.unit(3)).fields, "030 200");
    }
    std::cerr << "unit 3's zero started " << best << " ms after it was asked for\n";
    EXPECT_LE(best, 2);
    EXPECT_EQ(remote.ask("SYST:ERR?"), "0,\"No error\"");
}

TEST(Units, TheBenchWithNoWindowRunsEveryUnitAndNamesThem) {
    StampedBench bench;
    ASSERT_TRUE(bench.started) << bench.panelErrors().toStdString();
    ScpiLine remote(bench.port);
    remote.send("APPL 5,0.5;:INST:NSEL 3;APPL 3,2");
    EXPECT_EQ(NextStamped(bench.unit(3)).fields, "030 200");
    remote.send("*RST");
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(WaitUntil([&] { return NextStamped(bench.unit(n), 1s).fields == "000 000"; },
                              5s))
            << "unit " << n;
    bench.panel().terminate();
    EXPECT_EQ(bench.waitForPanelExit(10s), 0);
    const QByteArray said = bench.panelErrors();
    for (const char* text : {"Unit 1: COM2", "Unit 2: COM3", "Unit 3: COM4"})
        EXPECT_TRUE(said.contains(text)) << text << " in " << said.toStdString();
}

TEST(Units, ARunGoesToTheUnitNamed) {
    Session bench({"--stamp"});
    ThreeUnits units(bench);
    ASSERT_TRUE(WriteFile(bench.path("short.run"), "set 3 V 0.2 A for 1 s\n"));
    ASSERT_TRUE(bench.startProgram({"--headless", "--run", bench.path("short.run"), "--unit", "3"},
                                   ThreeUnits::Settings(bench) + "[Remote]\nEnabled=false\n"));
    EXPECT_EQ(NextStamped(*units.sims[1]).fields,
              "030 020");
    EXPECT_EQ(bench.waitForPanelExit(20s), 0) << bench.panelErrors().toStdString();
    EXPECT_TRUE(bench.panelErrors().contains("Unit 3: step 1 started"))
        << bench.panelErrors().toStdString();
    EXPECT_EQ(NextStamped(bench.sim(), 300ms).fields, QByteArray()) << "nothing for unit 1";
}

TEST(Units, ThePanelShowsEveryUnitsWindowAndOnlyUnitOnesEndsIt) {
    Session bench({"--stamp"});
    ThreeUnits units(bench);
    ASSERT_TRUE(bench.startProgram({}, ThreeUnits::Settings(bench)));
    const qint64 pid = bench.panelPid();
    ASSERT_FALSE(FindWindow(pid, "Power supply").isEmpty());
    const QString second = FindWindow(pid, "Power supply \u2013 Unit 2");
    ASSERT_FALSE(second.isEmpty());
    ASSERT_FALSE(FindWindow(pid, "Power supply \u2013 Unit 3").isEmpty());
    ASSERT_TRUE(SendDeleteWindow(second));
    Pause(500ms);
    EXPECT_TRUE(bench.panelRunning()) << "closing unit 2's panel only hides it";
    ASSERT_TRUE(SendDeleteWindow(FindWindow(pid, "Power supply")));
    EXPECT_EQ(bench.waitForPanelExit(10s), 0);
}

} // namespace
} // namespace velmora::e2e
