// The simulated unit: its pure pieces, then the real program on a pseudo-terminal.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <termios.h>
#include <tuple>
#include <unistd.h>

#include "sim/cell_model.h"
#include "sim/command_parser.h"
#include "sim/frame.h"
#include "sim/frame_log.h"
#include "sim/options.h"
#include "sim/supply_model.h"
#include "support/sim_process.h"

namespace {

using namespace velmora::sim;
using namespace velmora::test;
using std::chrono::milliseconds;

struct FrameCase {
    double volts;
    double amps;
    const char* frame;
};

TEST(SimFrame, LaysOutTwelveCharactersClampedAndRounded) {
    const FrameCase cases[] = {
        {12.3, 0.45, "D 123  045  "},   {0.0, 0.0, "D 000  000  "},
        {3.0, 0.3, "D 030  030  "},     {99.9, 9.99, "D 999  999  "},
        {150.0, 20.0, "D 999  999  "},  {-1.0, -0.5, "D 000  000  "},
        {0.05, 0.005, "D 001  001  "},  {7.449, 0.044, "D 074  004  "},
        {20.06, 1.004, "D 201  100  "}, {99.96, 9.996, "D 999  999  "},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(formatFrame(c.volts, c.amps), c.frame) << c.volts << " V " << c.amps << " A";
    }
}

TEST(SimFrame, GarbledFramesKeepTheirLengthButBreakWhatThePcChecks) {
    EXPECT_EQ(garbleFrame("D 123  045  ", Garble::BadLead), "X 123  045  ");
    EXPECT_EQ(garbleFrame("D 123  045  ", Garble::BadDigit), "D 1?3  045  ");
}

// Feeds the bytes one by one and writes each event as "obeyed V I" or "skipped".
std::vector<std::string> parse(CommandParser& parser, std::string_view bytes) {
    std::vector<std::string> events;
    for (const char c : bytes) {
        if (auto e = parser.feed(c)) {
            events.push_back(e->obeyed ? "obeyed " + std::to_string(e->command.voltageCode) + " " +
                                             std::to_string(e->command.currentCode)
                                       : "skipped");
        }
    }
    return events;
}

struct ParseCase {
    const char* name;
    const char* bytes;
    std::vector<std::string> events;
};

TEST(SimCommandParser, ObeysGoodCommandsAndResynchronisesAfterGarbled) {
    const ParseCase cases[] = {
        {"good", "030\r100\r", {"obeyed 30 100"}},
        {"two in a row", "030\r100\r250\r999\r", {"obeyed 30 100", "obeyed 250 999"}},
        {"zeros", "000\r000\r", {"obeyed 0 0"}},
        {"letter in voltage", "03X\r100\r040\r100\r", {"skipped", "obeyed 40 100"}},
        {"letter in current", "030\r1Z0\r040\r100\r", {"skipped", "obeyed 40 100"}},
        {"short field", "03\r100\r050\r200\r", {"skipped", "obeyed 50 200"}},
        {"long field", "0300\r100\r050\r200\r", {"skipped", "obeyed 50 200"}},
        {"empty fields", "\r\r050\r200\r", {"skipped", "obeyed 50 200"}},
        {"line feed after CR", "030\r\n100\r050\r200\r", {"skipped", "obeyed 50 200"}},
        {"incomplete", "030\r10", {}},
    };
    for (const ParseCase& c : cases) {
        CommandParser parser;
        EXPECT_EQ(parse(parser, c.bytes), c.events) << c.name;
    }
}

TEST(SimCommandParser, KeepsStateAcrossCallsAndDropsAHalfCommandWhenTheLineGoesQuiet) {
    CommandParser parser;
    EXPECT_TRUE(parse(parser, "03").empty());
    EXPECT_EQ(parse(parser, "0\r10"), std::vector<std::string>{});
    EXPECT_EQ(parse(parser, "0\r"), std::vector<std::string>{"obeyed 30 100"});

    EXPECT_TRUE(parse(parser, "030\r1").empty());
    const auto dropped = parser.lineIdle();
    ASSERT_TRUE(dropped.has_value());
    EXPECT_FALSE(dropped->obeyed);
    EXPECT_EQ(dropped->raw, "030\r1");
    EXPECT_FALSE(parser.lineIdle().has_value()) << "nothing left to drop";
    EXPECT_EQ(parse(parser, "040\r100\r"), std::vector<std::string>{"obeyed 40 100"});
}

TEST(SimCommandParser, ScalesCommandsByModel) {
    const auto small = findModel("1A/20V");
    const auto large = findModel("2,5A/25V");
    ASSERT_TRUE(small && large);
    EXPECT_FALSE(findModel("2.5A/25V").has_value());
    EXPECT_EQ(defaultModel().name, "1A/20V");
    struct {
        UnitModel model;
        Command command;
        double volts, amps;
    } const cases[] = {
        {*small, {30, 100}, 3.0, 0.5},     {*large, {30, 100}, 3.0, 1.0},
        {*small, {999, 999}, 99.9, 4.995}, {*large, {250, 250}, 25.0, 2.5},
        {*small, {0, 1}, 0.0, 0.005},
    };
    for (const auto& c : cases) {
        const SetPoint set = toSetPoint(c.command, c.model);
        EXPECT_NEAR(set.volts, c.volts, 1e-9) << c.model.name << " " << c.command.voltageCode;
        EXPECT_NEAR(set.amps, c.amps, 1e-9) << c.model.name << " " << c.command.currentCode;
    }
}

struct SupplyCase {
    double setVolts, setAmps, load;
    const char* settled;
    bool constantCurrent;
    double loadStep = 0.0; // the load after settling, then settled again; 0: none
};

TEST(SimSupplyModel, SettlesInConstantVoltageOrConstantCurrent) {
    const SupplyCase cases[] = {
        {3.0, 0.5, 10.0, "D 030  030  ", false}, // 0.3 A is below the limit
        {10.0, 0.1, 10.0, "D 010  010  ", true}, // 1 A wanted, held at 0.1 A
        {5.0, 1.0, 1.0, "D 010  100  ", true},
        {20.0, 2.5, 10.0, "D 200  200  ", false},
        {0.0, 0.5, 10.0, "D 000  000  ", false},
        {12.0, 0.5, 100.0, "D 100  050  ", true, 20.0}, // a heavier load: 0.6 A held at 0.5 A
        {5.0, 1.0, 2.0, "D 050  005  ", false, 100.0},  // a lighter one: back to CV
    };
    for (const SupplyCase& c : cases) {
        SupplyModel model(c.load, 0.3);
        model.setTarget(c.setVolts, c.setAmps);
        model.advance(3.0);
        if (c.loadStep > 0.0) {
            model.setLoad(c.loadStep);
            model.advance(3.0);
        }
        const Reading out = model.output();
        EXPECT_EQ(formatFrame(out.volts, out.amps), c.settled) << c.setVolts << " V " << c.setAmps;
        EXPECT_EQ(model.constantCurrent(), c.constantCurrent) << c.setVolts << " V " << c.setAmps;
    }
}

TEST(SimSupplyModel, ApproachesANewSetPointOverTheSettlingTime) {
    SupplyModel model(10.0, 0.5);
    EXPECT_EQ(model.output().volts, 0.0) << "starts switched off";
    model.setTarget(10.0, 5.0);
    model.advance(0.1); // one time constant: about 63%
    EXPECT_NEAR(model.output().volts, 6.32, 0.05);
    EXPECT_NEAR(model.output().amps, 0.632, 0.005) << "current follows the load";
    model.advance(0.4);
    EXPECT_GT(model.output().volts, 9.9);
    EXPECT_LE(model.output().volts, 10.0);
    model.setTarget(2.0, 5.0); // going down settles the same way
    model.advance(0.1);
    EXPECT_NEAR(model.output().volts, 2.0 + 8.0 * 0.368, 0.05);

    SupplyModel instant(10.0, 0.0);
    instant.setTarget(4.0, 1.0);
    instant.advance(0.0);
    EXPECT_EQ(instant.output().volts, 4.0);
}

TEST(SimSupplyModel, NoiseMovesTheReadOutByOneCountAtMost) {
    for (const double u : {-1.0, -0.3, 0.0, 0.7, 1.0}) {
        const Reading r = withNoise({12.34, 0.456}, u, -u);
        EXPECT_NEAR(r.volts, 12.34, 0.05 + 1e-9);
        EXPECT_NEAR(r.amps, 0.456, 0.005 + 1e-9);
    }
    EXPECT_EQ(withNoise({0.0, 0.0}, -1.0, -1.0).volts, 0.0) << "never below zero";
}

TEST(SimOptions, ReadsEveryOption) {
    const ParsedOptions p = parseOptions({"--model",
                                          "2,5A/25V",
                                          "--rate=50",
                                          "--load",
                                          "4.7",
                                          "--settle",
                                          "0",
                                          "--noise",
                                          "--garble",
                                          "3",
                                          "--split",
                                          "--join",
                                          "--silent-after",
                                          "1.5",
                                          "--silent-for",
                                          "2",
                                          "--mute",
                                          "--link",
                                          "/tmp/x",
                                          "--status",
                                          "/tmp/s",
                                          "--echo-bytes",
                                          "--frames-log",
                                          "/tmp/f",
                                          "--pieces",
                                          "16",
                                          "--count",
                                          "--load-step",
                                          "2:1.5",
                                          "--load-step=0.5:4",
                                          "--load-step",
                                          "2:7",
                                          "--stamp"});
    ASSERT_EQ(p.error, "");
    const Options& o = p.options;
    EXPECT_EQ(o.model.name, "2,5A/25V");
    EXPECT_EQ(o.plan.framesPerSecond, 50.0);
    EXPECT_EQ(o.loadOhms, 4.7);
    EXPECT_EQ(o.settleSeconds, 0.0);
    EXPECT_EQ(o.plan.garbleEvery, 3);
    EXPECT_EQ(o.plan.pieces, 16);
    EXPECT_TRUE(o.plan.count);
    EXPECT_EQ(o.plan.silentAfter, 1.5);
    EXPECT_EQ(o.plan.silentFor, 2.0);
    EXPECT_TRUE(o.noise && o.plan.split && o.plan.join && o.plan.mute && o.echoBytes && o.stamp);
    EXPECT_EQ(o.linkPath, "/tmp/x");
    EXPECT_EQ(o.statusPath, "/tmp/s");
    EXPECT_EQ(o.framesLogPath, "/tmp/f");
    std::vector<std::pair<double, double>> steps;
    for (const LoadStep& step : o.loadSteps)
        steps.emplace_back(step.atSeconds, step.ohms);
    EXPECT_EQ(steps, (std::vector<std::pair<double, double>>{{0.5, 4}, {2, 1.5}, {2, 7}}))
        << "in time order; at the same time, as given";

    const Options defaults = parseOptions({}).options;
    EXPECT_EQ(defaults.model.name, "1A/20V");
    EXPECT_EQ(defaults.plan.framesPerSecond, 4.0);
    EXPECT_EQ(defaults.loadOhms, 10.0);
    EXPECT_FALSE(defaults.plan.mute || defaults.noise || defaults.plan.split || defaults.stamp);
    EXPECT_TRUE(defaults.loadSteps.empty());
}

// The figures a run's test can count on, with --settle 0: a 2 mAh cell from
// 3.0 V to 4.2 V behind 1 ohm, charged at 4.2 V and 0.5 A, takes 0.5 A until
// its open-circuit voltage reaches 3.7 V (8.4 s), then the current falls with
// a time constant of R x C = 1 ohm x 7.2 C / 1.2 V = 6 s.
TEST(SimCell, ChargesAsTheRunFiguresSay) {
    const struct {
        double seconds;
        double amps, volts, milliampHours;
        bool constantCurrent;
    } cases[] = {
        {0.0, 0.5, 3.5, 0.0, true},
        {4.2, 0.5, 3.85, 0.5833, true},
        {8.3, 0.5, 4.1917, 1.1528, true},
        {8.5, 0.5 * std::exp(-0.1 / 6), 4.2, 1.1805, false},
        {14.4, 0.5 * std::exp(-1.0), 4.2, 1.1667 + 0.5 * 6 * (1 - std::exp(-1.0)) / 3.6, false},
        {8.4 + 6 * std::log(10.0), 0.05, 4.2, 1.9167, false},
    };
    for (const double step : {0.0125, 0.25, 1.0}) {
        SupplyModel model(10.0, 0.0);
        model.setCell({2.0, 3.0, 4.2, 1.0});
        model.setTarget(4.2, 0.5);
        double at = 0.0;
        for (const auto& c : cases) {
            for (; at + step <= c.seconds; at += step)
                model.advance(step);
            model.advance(c.seconds - at);
            at = c.seconds;
            const Reading out = model.output();
            const std::string where =
                std::to_string(c.seconds) + " s in steps of " + std::to_string(step);
            EXPECT_NEAR(out.amps, c.amps, 0.002) << where;
            EXPECT_NEAR(out.volts, c.volts, 0.002) << where;
            EXPECT_NEAR(model.cell()->chargedAmpHours() * 1000, c.milliampHours, 0.002) << where;
            EXPECT_EQ(model.constantCurrent(), c.constantCurrent) << where;
        }
    }
    // Below its open-circuit voltage the unit gives nothing and takes nothing back.
    Cell cell({2.0, 3.0, 4.2, 1.0});
    cell.charge(4.2, 0.5, 5.0);
    const double held = cell.chargedAmpHours();
    EXPECT_EQ(cell.current(3.0, 0.5), 0.0);
    cell.charge(3.0, 0.5, 100.0);
    EXPECT_EQ(cell.chargedAmpHours(), held);
    EXPECT_NEAR(cell.terminalVolts(3.0, 0.5), cell.openCircuitVolts(), 1e-12);
    cell.charge(4.2, 0.0, 100.0);
    EXPECT_EQ(cell.chargedAmpHours(), held) << "no current at a 0 A limit";

    std::string error;
    const auto rating = parseCellRating("2:3.0:4.2:1", error);
    ASSERT_TRUE(rating) << error;
    EXPECT_EQ(
        std::tuple(rating->milliampHours, rating->emptyVolts, rating->fullVolts, rating->ohms),
        std::tuple(2.0, 3.0, 4.2, 1.0));
    EXPECT_TRUE(parseOptions({"--cell", "2:3.0:4.2:1"}).options.cell.has_value());
}

TEST(SimOptions, RejectsBadCommandLines) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--rate"},
        {"--rate", "x"},
        {"--rate", "0"},
        {"--rate", "5e3"},
        {"--model", "3A"},
        {"--load", "-1"},
        {"--settle", "-0.1"},
        {"--garble", "0"},
        {"--garble", "1.5"},
        {"--noise=yes"},
        {"--stamp=1"},
        {"--silent-for", "1"},
        {"--rate", "4x"},
        {"--load", "nan"},
        {"rate"},
        {"--pieces", "0"},
        {"--pieces", "2.5"},
        {"--load-step", "1"},
        {"--load-step", "x:2"},
        {"--load-step", "1:0"},
        {"--load-step", "-1:5"},
        {"--load-step", "1:"},
        {"--load-step", ":5"},
        {"--load-step", "1:2:3"},
        {"--cell", "2:3.0:4.2"},
        {"--cell", "2:3.0:4.2:1:5"},
        {"--cell", "0:3.0:4.2:1"},
        {"--cell", "2:4.2:3.0:1"},
        {"--cell", "2:3.0:4.2:0"},
        {"--cell", "2:3.0:nan:1"},
        {"--cell", "2::4.2:1"},
        {"--cell", "2:3.0:4.2:1", "--load-step", "1:5"},
    };
    for (const auto& args : cases) {
        EXPECT_NE(parseOptions(args).error, "") << args.front() << " " << args.back();
    }
    const std::string help = helpText();
    for (const char* name :
         {"--model",  "--rate",       "--load",         "--settle",     "--noise", "--garble",
          "--split",  "--join",       "--silent-after", "--silent-for", "--mute",  "--link",
          "--status", "--echo-bytes", "--frames-log",   "--pieces",     "--count", "--load-step",
          "--cell",   "--help",       "--stamp"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
    }
}

struct CutCase {
    const char* name;
    // Each write: the bytes, how many went out, whether a piece of it is still to come.
    std::vector<std::tuple<std::string, std::size_t, bool>> writes;
    std::vector<std::string> frames;
};

TEST(SimFrameLog, CutsWhatWentOutIntoFramesAndLeavesOutWritesNotTakenWhole) {
    const std::string a = "D 123  045  ", b = "D 124  046  ";
    const CutCase cases[] = {
        {"one frame a write", {{a, 12, false}, {b, 12, false}}, {a, b}},
        {"joined pair", {{a + b, 24, false}}, {a, b}},
        {"split: logged with its last piece",
         {{a.substr(0, 6), 6, true}, {a.substr(6), 6, false}},
         {a}},
        {"split pair", {{(a + b).substr(0, 6), 6, true}, {(a + b).substr(6), 18, false}}, {a, b}},
        {"short write", {{a, 5, false}, {b, 12, false}}, {b}},
        {"short first piece loses the tail too",
         {{a.substr(0, 6), 3, true}, {a.substr(6), 6, false}, {b, 12, false}},
         {b}},
        {"short last piece",
         {{a.substr(0, 6), 6, true}, {a.substr(6), 2, false}, {b, 12, false}},
         {b}},
    };
    for (const CutCase& c : cases) {
        FrameCutter cutter;
        std::vector<std::string> frames;
        for (const auto& [bytes, sent, midWrite] : c.writes) {
            const auto out = cutter.wrote(bytes, sent, midWrite);
            frames.insert(frames.end(), out.begin(), out.end());
        }
        EXPECT_EQ(frames, c.frames) << c.name;
    }
}

// The frames log's lines and --stamp's: the clock's milliseconds, floored.
TEST(SimFrameLog, StampsLinesWithTheClocksMilliseconds) {
    struct Case {
        double seconds;
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {8123.3869, "command 030 100 -> set 3.0 V 0.500 A",
         "8123386 command 030 100 -> set 3.0 V 0.500 A"},
        {8123.3861, "D 123  045  ", "8123386 D 123  045  "},
        {0.0, "load 2 ohms at 0.5 s", "0 load 2 ohms at 0.5 s"},
        {1e6 + 0.0015, "status", "1000000001 status"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stampedLine(monotonicMs(c.seconds), c.text), c.line);
}

// ---- The real program, with the test playing the PC ----

// A running velmora-sim with the PC's end of its device open.
struct Bench {
    explicit Bench(std::vector<std::string> args) : sim(args) {
        fd = sim.devicePath().empty() ? -1 : openSerial(sim.devicePath());
        if (fd >= 0) tcflush(fd, TCIFLUSH); // frames sent before anyone listened
    }
    ~Bench() {
        if (fd >= 0) close(fd);
    }
    bool ready() const { return fd >= 0; }

    SimProcess sim;
    int fd = -1;
};

double secondsBetween(const Arrival& a, const Arrival& b) {
    return std::chrono::duration<double>(b.at - a.at).count();
}

TEST(SimProgram, SendsFramesAtTheSetRateInTheFixedLayout) {
    Bench bench({"--rate", "50"});
    ASSERT_TRUE(bench.ready());
    const std::string stream = readFor(bench.fd, milliseconds(1000));
    const auto frames = framesOf(stream);
    EXPECT_EQ(stream.size() % 12, 0u) << "frames follow one another without line endings";
    EXPECT_GE(frames.size(), 40u);
    EXPECT_LE(frames.size(), 55u);
    for (const std::string& frame : frames) {
        ASSERT_EQ(frame, "D 000  000  ") << "starts at 0 V, 0 A";
    }
}

struct CommandCase {
    std::vector<std::string> args;
    const char* command;
    const char* report;
    const char* settled;
};

TEST(SimProgram, ACommandSentCharacterByCharacterSettlesTheReadOut) {
    const CommandCase cases[] = {
        {{}, "030\r100\r", "command 030 100 -> set 3.0 V 0.500 A", "D 030  030  "},
        {{}, "100\r020\r", "command 100 020 -> set 10.0 V 0.100 A", "D 010  010  "},
        {{"--model", "2,5A/25V", "--load", "2"},
         "050\r100\r",
         "command 050 100 -> set 5.0 V 1.000 A",
         "D 020  100  "},
    };
    for (const CommandCase& c : cases) {
        std::vector<std::string> args{"--rate", "100", "--settle", "0.1", "--echo-bytes"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Bench bench(args);
        ASSERT_TRUE(bench.ready());
        sendSlowly(bench.fd, c.command);
        const auto report = bench.sim.waitForLine("command", milliseconds(2000));
        EXPECT_EQ(report.value_or("none"), c.report);
        readFor(bench.fd, milliseconds(300)); // let it settle
        const auto frames = framesOf(readFor(bench.fd, milliseconds(100)));
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), c.settled) << c.command;
    }
}

TEST(SimProgram, EchoesTheReceivedBytesInHex) {
    Bench bench({"--mute", "--echo-bytes"});
    ASSERT_TRUE(bench.ready());
    sendSlowly(bench.fd, "030\r100\r");
    std::string hex;
    while (hex.size() < 3 * 8) {
        const auto line = bench.sim.waitForLine("rx", milliseconds(2000));
        ASSERT_TRUE(line.has_value()) << "got only" << hex;
        hex += line->substr(2);
    }
    EXPECT_EQ(hex, " 30 33 30 0d 31 30 30 0d");
}

TEST(SimProgram, SkipsAGarbledCommandAndObeysTheNext) {
    Bench bench({"--rate", "100", "--settle", "0"});
    ASSERT_TRUE(bench.ready());
    sendSlowly(bench.fd, "03X\r100\r040\r100\r");
    EXPECT_EQ(bench.sim.readLine(milliseconds(2000)).value_or("none"),
              "skipped \"03X\\r100\\r\": non-digit X in voltage field");
    EXPECT_EQ(bench.sim.readLine(milliseconds(2000)).value_or("none"),
              "command 040 100 -> set 4.0 V 0.500 A");
    readFor(bench.fd, milliseconds(100));
    const auto frames = framesOf(readFor(bench.fd, milliseconds(100)));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "D 040  040  ");
}

TEST(SimProgram, GarblesOneFrameInNAlternatingTheFault) {
    for (const int every : {1, 3}) {
        Bench bench({"--rate", "100", "--garble", std::to_string(every)});
        ASSERT_TRUE(bench.ready());
        const auto frames = framesOf(readFor(bench.fd, milliseconds(2000), 24 * 12));
        ASSERT_EQ(frames.size(), 24u);
        std::vector<std::size_t> spoilt;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (frames[i] != "D 000  000  ") spoilt.push_back(i);
        }
        ASSERT_EQ(spoilt.size(), 24u / every) << "every " << every;
        for (std::size_t k = 0; k < spoilt.size(); ++k) {
            if (k > 0) {
                EXPECT_EQ(spoilt[k] - spoilt[k - 1], static_cast<std::size_t>(every));
            }
            const std::string& f = frames[spoilt[k]];
            const std::string& other = frames[spoilt[k > 0 ? k - 1 : 1]];
            EXPECT_TRUE(f == "X 000  000  " || f == "D 0?0  000  ") << f;
            EXPECT_NE(f, other) << "the two faults take turns";
        }
    }
}

TEST(SimProgram, SplitsEachFrameIntoTwoPiecesWithAPause) {
    Bench bench({"--rate", "20", "--split"});
    ASSERT_TRUE(bench.ready());
    auto arrivals = readArrivals(bench.fd, milliseconds(2000), 6 * 12);
    // Line up on a first half, whatever came before the flush.
    while (!arrivals.empty() && arrivals.front().bytes.front() != 'D')
        arrivals.erase(arrivals.begin());
    ASSERT_GE(arrivals.size(), 8u);
    for (std::size_t i = 0; i + 1 < arrivals.size(); i += 2) {
        EXPECT_EQ(arrivals[i].bytes, "D 000 ");
        EXPECT_EQ(arrivals[i + 1].bytes, " 000  ");
        EXPECT_GE(secondsBetween(arrivals[i], arrivals[i + 1]), 0.015);
    }
}

// The line's full rate: 80 frames a second are 960 characters, with no gap
// between frames; the pieces cut across them; numbered frames count up.
TEST(SimProgram, SendsAnUnbrokenStreamInPiecesAtTheFullRate) {
    Bench bench({"--rate", "80", "--pieces", "8", "--count"});
    ASSERT_TRUE(bench.ready());
    const auto arrivals = readArrivals(bench.fd, milliseconds(1500), 8 * 120);
    std::string stream;
    for (const Arrival& a : arrivals)
        stream += a.bytes;
    ASSERT_GE(stream.size(), 8u * 100);
    EXPECT_NEAR(secondsBetween(arrivals.front(), arrivals.back()) /
                    static_cast<double>(stream.size() - arrivals.front().bytes.size()),
                1.0 / 960, 0.3 / 960);
    const auto lead = stream.find('D');
    const auto frames = framesOf(stream.substr(lead));
    for (std::size_t i = 1; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].front(), 'D') << i;
        const int count = std::stoi(frames[i].substr(7, 3)),
                  before = std::stoi(frames[i - 1].substr(7, 3));
        EXPECT_EQ(count, (before + 1) % 1000) << frames[i];
    }
}

TEST(SimProgram, JoinsFramesInPairs) {
    Bench bench({"--rate", "40", "--join"});
    ASSERT_TRUE(bench.ready());
    const auto arrivals = readArrivals(bench.fd, milliseconds(2000), 6 * 24);
    ASSERT_GE(arrivals.size(), 5u);
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        EXPECT_EQ(arrivals[i].bytes, "D 000  000  D 000  000  ");
        if (i > 0) {
            EXPECT_NEAR(secondsBetween(arrivals[i - 1], arrivals[i]), 0.05, 0.025);
        }
    }
}

// One "<ms> <frame>" line of a frames log; the stamp is -1 when the line is not one.
std::pair<long long, std::string> frameLogLine(const std::string& line) {
    const auto space = line.find(' ');
    if (space == std::string::npos || line.size() != space + 1 + 12) return {-1, ""};
    return {std::stoll(line.substr(0, space)), line.substr(space + 1)};
}

TEST(SimProgram, FramesLogHoldsExactlyTheFramesOnTheLineInOrder) {
    using std::chrono::steady_clock;
    const auto ms = [](steady_clock::time_point t) {
        return std::chrono::duration_cast<milliseconds>(t.time_since_epoch()).count();
    };
    for (const std::vector<std::string>& fault :
         {std::vector<std::string>{}, {"--join"}, {"--split"}}) {
        const std::string name = fault.empty() ? "plain" : fault.front();
        const std::string file =
            testing::TempDir() + "velmora-sim-frames-" + std::to_string(getpid()) + name;
        std::filesystem::remove(file);
        const auto before = steady_clock::now();
        std::vector<std::string> args{"--rate",         "50",  "--noise",      "--settle", "0.3",
                                      "--silent-after", "0.8", "--frames-log", file};
        args.insert(args.end(), fault.begin(), fault.end());
        SimProcess sim(args);
        // Opened at once and not flushed: everything the unit sent is read.
        const int fd = sim.devicePath().empty() ? -1 : openSerial(sim.devicePath());
        ASSERT_GE(fd, 0) << name;
        sendSlowly(fd, "030\r100\r");
        const std::string stream = readFor(fd, milliseconds(1300));
        close(fd);
        const auto after = steady_clock::now();

        std::vector<std::string> logged;
        long long previous = ms(before);
        std::ifstream log(file);
        for (std::string line; std::getline(log, line);) {
            const auto [at, frame] = frameLogLine(line);
            ASSERT_GE(at, previous) << name << ": " << line;
            ASSERT_LE(at, ms(after)) << name << ": " << line;
            previous = at;
            logged.push_back(frame);
        }
        EXPECT_EQ(stream.size() % 12, 0u) << name;
        EXPECT_EQ(logged, framesOf(stream)) << name;
        EXPECT_GE(logged.size(), 20u) << name;
        EXPECT_GE(std::set<std::string>(logged.begin(), logged.end()).size(), 5u)
            << name << ": the output rises after the command, so order is tested";
        std::filesystem::remove(file);
    }
    SimProcess refused({"--frames-log", "/none-such-folder/frames.log"}, milliseconds(2000));
    EXPECT_EQ(refused.devicePath(), "");
    EXPECT_EQ(refused.waitForExit(milliseconds(2000)), 1);
    EXPECT_NE(refused.errorOutput().find("frames log"), std::string::npos);
}

TEST(SimProgram, FallsSilentForAWhileAndThenSendsAgain) {
    Bench bench({"--rate", "50", "--silent-after", "0.4", "--silent-for", "0.6"});
    ASSERT_TRUE(bench.ready());
    const auto arrivals = readArrivals(bench.fd, milliseconds(1500));
    ASSERT_GE(arrivals.size(), 10u);
    double longest = 0;
    std::size_t after = 0;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        const double gap = secondsBetween(arrivals[i - 1], arrivals[i]);
        if (gap > longest) {
            longest = gap;
            after = arrivals.size() - i;
        }
    }
    EXPECT_NEAR(longest, 0.6, 0.1);
    EXPECT_GE(after, 10u) << "frames come again after the silence";
}

// What a test of the protection trips needs: the current rising past a
// threshold at a known time, without a command.
TEST(SimProgram, ALoadStepRaisesTheCurrentAtItsTime) {
    Bench bench({"--rate", "50", "--settle", "0", "--load-step", "1.5:2"});
    ASSERT_TRUE(bench.ready());
    sendSlowly(bench.fd, "050\r200\r"); // 5 V, 1 A into 10 ohms: 0.5 A
    EXPECT_EQ(bench.sim.readLine(milliseconds(2000)).value_or("none"),
              "command 050 200 -> set 5.0 V 1.000 A");
    readFor(bench.fd, milliseconds(100));
    auto frames = framesOf(readFor(bench.fd, milliseconds(100)));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "D 050  050  ");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(bench.sim.readLine(milliseconds(3000)).value_or("none"), "load 2 ohms at 1.5 s");
    EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(1500));
    readFor(bench.fd, milliseconds(100));
    frames = framesOf(readFor(bench.fd, milliseconds(100)));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), "D 020  100  ") << "2.5 A wanted, held at 1 A";
}

TEST(SimProgram, MuteSendsNothingButStillObeys) {
    Bench bench({"--rate", "100", "--mute"});
    ASSERT_TRUE(bench.ready());
    sendSlowly(bench.fd, "030\r100\r");
    EXPECT_EQ(bench.sim.readLine(milliseconds(2000)).value_or("none"),
              "command 030 100 -> set 3.0 V 0.500 A");
    EXPECT_EQ(readFor(bench.fd, milliseconds(300)), "");
}

TEST(SimProgram, KeepsWorkingWhenThePcClosesAndReopens) {
    Bench bench({"--rate", "100", "--settle", "0"});
    ASSERT_TRUE(bench.ready());
    for (const char* command : {"030\r100\r", "050\r100\r"}) {
        close(bench.fd);
        bench.fd = openSerial(bench.sim.devicePath());
        ASSERT_GE(bench.fd, 0);
        sendSlowly(bench.fd, command);
        ASSERT_TRUE(bench.sim.waitForLine("command", milliseconds(2000)).has_value());
        EXPECT_FALSE(framesOf(readFor(bench.fd, milliseconds(200))).empty()) << command;
    }
}

TEST(SimProgram, ReportsItsStatusInAFileAndOnSigusr1) {
    const std::string file = testing::TempDir() + "velmora-sim-status-" + std::to_string(getpid());
    Bench bench({"--rate", "50", "--settle", "0", "--status", file});
    ASSERT_TRUE(bench.ready());
    sendSlowly(bench.fd, "100\r020\r");
    ASSERT_TRUE(bench.sim.waitForLine("command", milliseconds(2000)).has_value());
    usleep(100'000);
    const std::string expected = "status set 10.0 V 0.100 A shown 01.0 V 0.10 A CC";
    std::string line;
    std::getline(std::ifstream(file), line);
    EXPECT_EQ(line, expected);
    bench.sim.signal(SIGUSR1);
    EXPECT_EQ(bench.sim.waitForLine("status", milliseconds(2000)).value_or("none"), expected);
    std::filesystem::remove(file);
}

TEST(SimProgram, LinksTheDeviceAndRemovesTheLinkOnStop) {
    namespace fs = std::filesystem;
    const fs::path link =
        fs::path(testing::TempDir()) / ("velmora-sim-link-" + std::to_string(getpid()));
    for (const int stop : {SIGTERM, SIGINT}) {
        fs::remove(link);
        fs::create_symlink("/dev/pts/none-such", link); // stale, left by a crashed run
        SimProcess sim({"--link", link.string()});
        ASSERT_FALSE(sim.devicePath().empty());
        EXPECT_EQ(fs::read_symlink(link), sim.devicePath());
        const int fd = openSerial(link.string());
        EXPECT_GE(fd, 0) << "the link opens as the device";
        if (fd >= 0) close(fd);
        sim.signal(stop);
        EXPECT_EQ(sim.waitForExit(milliseconds(2000)), 0);
        EXPECT_FALSE(fs::is_symlink(link));
    }
}

// With --stamp a line tells when what it reports happened, on the clock every
// process reads: a command when its first character came, which is 70 ms
// before its last; a load step at its time; the status when asked for.
TEST(SimProgram, StampsEachLineWithWhenItHappened) {
    const long long spawned = monotonicMs();
    Bench bench({"--mute", "--stamp", "--load-step", "0.4:2"});
    ASSERT_TRUE(bench.ready()) << "the device path comes bare, as without --stamp";
    const long long firstSent = monotonicMs();
    sendSlowly(bench.fd, "030\r100\r");
    const long long secondSent = monotonicMs();
    sendSlowly(bench.fd, "03X\r100\r");
    std::map<std::string, long long> stamps;
    while (stamps.size() < 3) {
        const auto line = bench.sim.readLine(milliseconds(3000));
        ASSERT_TRUE(line.has_value()) << "only " << stamps.size() << " lines";
        const auto space = line->find(' ');
        ASSERT_NE(space, std::string::npos) << *line;
        stamps[line->substr(space + 1)] = std::stoll(line->substr(0, space));
    }
    const long long obeyed = stamps["command 030 100 -> set 3.0 V 0.500 A"];
    EXPECT_GE(obeyed, firstSent);
    EXPECT_LT(obeyed, firstSent + 50) << "the first character's time, not the last's";
    const long long skipped = stamps["skipped \"03X\\r100\\r\": non-digit X in voltage field"];
    EXPECT_GE(skipped, secondSent);
    EXPECT_LT(skipped, secondSent + 50);
    const long long load = stamps["load 2 ohms at 0.4 s"];
    EXPECT_GE(load, spawned + 400);
    EXPECT_LE(load, obeyed + 400) << "the simulator started before it read a command";

    const long long asked = monotonicMs();
    bench.sim.signal(SIGUSR1);
    const auto status = bench.sim.readLine(milliseconds(2000));
    ASSERT_TRUE(status.has_value());
    const auto space = status->find(' ');
    EXPECT_EQ(status->substr(space + 1).rfind("status set 3.0 V 0.500 A shown ", 0), 0u) << *status;
    EXPECT_GE(std::stoll(status->substr(0, space)), asked);
    EXPECT_LE(std::stoll(status->substr(0, space)), monotonicMs());
}

TEST(SimProgram, RefusesBadOptionsWithExitCode2) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--nope"}, {"--rate", "fast"}, {"--model", "5A/30V"}}) {
        SimProcess sim(args, milliseconds(2000));
        EXPECT_EQ(sim.devicePath(), "");
        EXPECT_EQ(sim.waitForExit(milliseconds(2000)), 2) << args.front();
        EXPECT_NE(sim.errorOutput().find(args.front()), std::string::npos) << args.front();
    }
    SimProcess help({"--help"}, milliseconds(2000));
    EXPECT_EQ(help.waitForExit(milliseconds(2000)), 0);
}

} // namespace
