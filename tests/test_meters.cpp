// The live meters: integration over arrival times, the spread of the values,
// the regulation, their texts, the protection trips and their settings, and
// the off-timer's texts.

#include "meters/meter_text.h"
#include "meters/meters.h"
#include "meters/off_timer.h"
#include "meters/protection.h"
#include "support/frames_log_meters.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace velmora {
namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kS = 1'000'000'000;

struct Frame {
    qint64 ms;
    int decivolts, centiamps;
};

MeterReadings ReadingsOf(const std::vector<Frame>& frames) {
    Meters meters;
    for (const Frame& f : frames)
        meters.take(f.ms * kMs, Values{f.decivolts, f.centiamps});
    return meters.readings();
}

// Frames every `stepMs` from 0 to `lastMs`, the values a function of the second.
std::vector<Frame> Series(qint64 lastMs, qint64 stepMs, int (*volts)(qint64), int (*amps)(qint64)) {
    std::vector<Frame> frames;
    for (qint64 ms = 0; ms <= lastMs; ms += stepMs)
        frames.push_back({ms, volts(ms / 1000), amps(ms / 1000)});
    return frames;
}

// "3600 As 36000 Ws in 3600 s, 0 gaps; V 100..100 (100) ...", nine digits exact.
std::string Describe(const MeterReadings& r) {
    const auto spread = [](const char* name, const Spread& s) {
        return QString::asprintf(" %s %d..%d (%.9g)", name, s.min, s.max, s.mean).toStdString();
    };
    return QString::asprintf("%.9g As %.9g Ws in %.9g s, %lld gaps;", r.ampHours * 3600,
                             r.wattHours * 3600, double(r.runNs) / kS, r.gaps)
               .toStdString() +
           spread("V", r.decivolts) + spread("I", r.centiamps) + spread("P", r.milliwatts);
}

TEST(Meters, IntegrateKnownSequences) {
    const auto ten = [](qint64) { return 100; };
    const auto same = [](qint64 s) { return int(s); };
    struct Case {
        const char* name;
        std::vector<Frame> frames;
        const char* readings;
    };
    const Case cases[] = {
        {"an hour at 10 V and 1 A", Series(3'600'000, 1000, ten, ten),
         "3600 As 36000 Ws in 3600 s, 0 gaps; V 100..100 (100) I 100..100 (100) P 10000..10000 "
         "(10000)"},
        // Power is integrated frame by frame: V x I of a ramp, not mean V x mean I.
        {"both ramp up", Series(100'000, 1000, same, same),
         "50 As 333.35 Ws in 100 s, 0 gaps; V 0..100 (50) I 0..100 (50) P 0..10000 (3333.5)"},
        {"2.5 s gap left out",
         {{0, 100, 100}, {1000, 100, 100}, {3500, 100, 100}, {4500, 100, 100}},
         "2 As 20 Ws in 2 s, 1 gaps; V 100..100 (100) I 100..100 (100) P 10000..10000 (10000)"},
        {"2 s is no gap",
         {{0, 100, 100}, {2000, 100, 100}},
         "2 As 20 Ws in 2 s, 0 gaps; V 100..100 (100) I 100..100 (100) P 10000..10000 (10000)"},
        {"a time going back counts as the same moment",
         {{0, 100, 100}, {1000, 100, 100}, {500, 100, 300}, {2000, 100, 300}},
         "4 As 40 Ws in 2 s, 0 gaps; V 100..100 (100) I 100..300 (200) P 10000..30000 (20000)"},
        {"mean weighted by time",
         {{0, 100, 100}, {500, 100, 100}, {2500, 100, 300}},
         "4.5 As 45 Ws in 2.5 s, 0 gaps; V 100..100 (100) I 100..300 (180) P 10000..30000 "
         "(18000)"},
        {"one frame: its values",
         {{5000, 51, 12}},
         "0 As 0 Ws in 0 s, 0 gaps; V 51..51 (51) I 12..12 (12) P 612..612 (612)"},
        {"only a gap: the frames' plain mean",
         {{0, 50, 10}, {3000, 70, 30}},
         "0 As 0 Ws in 0 s, 1 gaps; V 50..70 (60) I 10..30 (20) P 500..2100 (1300)"},
        {"nothing yet", {}, "0 As 0 Ws in 0 s, 0 gaps; V 0..0 (0) I 0..0 (0) P 0..0 (0)"},
    };
    for (const Case& c : cases) {
        const MeterReadings r = ReadingsOf(c.frames);
        EXPECT_EQ(Describe(r), c.readings) << c.name;
        EXPECT_EQ(r.frames, qint64(c.frames.size())) << c.name;
    }
}

TEST(Meters, AWeekAtTheFullRateDoesNotDrift) {
    Meters meters;
    const qint64 frames = 7LL * 24 * 3600 * 80;
    for (qint64 i = 0; i <= frames; ++i)
        meters.take(1000 * kS + i * 12'500'000, Values{123, 123});
    const MeterReadings r = meters.readings();
    EXPECT_DOUBLE_EQ(r.ampHours, 1.23 * 168);
    EXPECT_DOUBLE_EQ(r.wattHours, 15.129 * 168);
    EXPECT_EQ(r.runNs, 7LL * 24 * 3600 * kS);
    EXPECT_DOUBLE_EQ(r.centiamps.mean, 123.0);
}

TEST(Meters, ResetStartsEverythingAgain) {
    Meters meters;
    meters.take(0, Values{999, 999});
    meters.take(5 * kS, Values{10, 10});
    meters.reset();
    EXPECT_TRUE(meters.empty());
    // The first frame after a reset is no gap from the last one before it.
    meters.take(9000 * kMs, Values{100, 100});
    meters.take(10'000 * kMs, Values{100, 100});
    EXPECT_EQ(Describe(meters.readings()), "1 As 10 Ws in 1 s, 0 gaps; V 100..100 (100) I "
                                           "100..100 (100) P 10000..10000 (10000)");
}

TEST(Meters, RegulationInferredFromOneFrame) {
    struct Case {
        int decivolts, centiamps, setMv, setMa;
        const char* regulation;
    };
    const Case cases[] = {
        {50, 50, 12000, 500, "CC"},  {120, 30, 12000, 500, "CV"}, // below the current limit
        {49, 49, 12000, 500, "CC"},  {49, 51, 12000, 500, "CC"},  // within one step
        {49, 48, 12000, 500, "CV"},  {120, 50, 12000, 500, "CV"}, // voltage at its set-point
        {0, 0, 0, 0, "CV"},          {0, 0, 5000, 0, "CC"},       // held at 0 A
        {20, 50, 5000, 505, "CC"},   {20, 49, 5000, 505, "CV"},   // a 5 mA set-point
        {121, 50, 12000, 500, "CV"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(RegulationName(InferRegulation(Values{c.decivolts, c.centiamps},
                                                    {Millivolts(c.setMv), Milliamps(c.setMa)})),
                     c.regulation)
            << c.decivolts << " dV " << c.centiamps << " cA, set " << c.setMv << " " << c.setMa;
    }
}

MeterReadings Readings(double ah, double wh, double runSeconds, qint64 gaps, Spread v, Spread i) {
    MeterReadings r;
    r.frames = 10;
    r.ampHours = ah;
    r.wattHours = wh;
    r.runNs = qint64(runSeconds * kS);
    r.gaps = gaps;
    r.decivolts = v;
    r.centiamps = i;
    return r;
}

TEST(MeterText, LinesAndTooltips) {
    const auto cv = Regulation::ConstantVoltage, cc = Regulation::ConstantCurrent;
    const MeterReadings example = Readings(0.1234, 1.482, 723.9, 0, {0, 123, 51}, {0, 50, 12});
    const MeterReadings big =
        Readings(123.456789, 2541.6724, 90123.5, 1, {999, 999, 999}, {5, 999, 512.345});
    MeterReadings none;
    struct Case {
        MeterReadings readings;
        Regulation regulation;
        const char* line;
        const char* tooltip;
    };
    const Case cases[] = {
        {example, cv, "0.1234 Ah  1.482 Wh  00:12:03  CV   V 0.0–12.3 (5.10)  I 0.00–0.50 (0.12)",
         "meters: 0.1234 Ah, 1.482 Wh in 00:12:03 (CV, inferred)"},
        {big, cc,
         "123.4568 Ah  2541.672 Wh  1 day 01:02:03  CC   V 99.9–99.9 (99.90)  I 0.05–9.99 (5.12)",
         "meters: 123.4568 Ah, 2541.672 Wh in 1 day 01:02:03 (CC, inferred), 1 gap left out"},
        {Readings(0, 0, 0, 3, {7, 7, 7}, {0, 0, 0}), cv,
         "0.0000 Ah  0.000 Wh  00:00:00  CV   V 0.7–0.7 (0.70)  I 0.00–0.00 (0.00)",
         "meters: 0.0000 Ah, 0.000 Wh in 00:00:00 (CV, inferred), 3 gaps left out"},
        {none, cc, "Meters: nothing measured yet", "meters: nothing measured yet"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MetersLine(c.readings, c.regulation), QString::fromUtf8(c.line));
        EXPECT_EQ(MetersTooltip(c.readings, c.regulation), QString::fromUtf8(c.tooltip));
    }
}

TEST(MeterText, DurationsNumbersAndCountdowns) {
    const std::pair<qint64, const char*> durations[] = {
        {0, "00:00:00"},
        {59, "00:00:59"},
        {3599, "00:59:59"},
        {86399, "23:59:59"},
        {86400, "1 day 00:00:00"},
        {90123, "1 day 01:02:03"},
        {3 * 86400 + 61, "3 days 00:01:01"},
        {-5, "00:00:00"},
    };
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(DurationText(seconds), text) << seconds;
        EXPECT_EQ(CountdownText(seconds), QStringLiteral("Zero output in ") + text) << seconds;
    }
    const std::pair<QString, const char*> numbers[] = {
        {AmpHoursNumber(0.1234), "0.123400"},      {AmpHoursNumber(0), "0.000000"},
        {WattHoursNumber(1.482), "1.482000"},      {WattHoursNumber(2541.6724), "2541.672400"},
        {SecondsNumber(723'400'000'000), "723.4"}, {SecondsNumber(49'999'999), "0.0"},
        {SecondsNumber(50'000'000), "0.1"},        {SecondsNumber(0), "0.0"},
        {SecondsNumber(90123 * kS), "90123.0"},
    };
    for (const auto& [got, want] : numbers)
        EXPECT_EQ(got, want);
    struct Remaining {
        qint64 nowNs, deadlineNs, seconds;
    };
    const Remaining remaining[] = {
        {0, 300 * kS, 300},          {1, 300 * kS, 300},      {kS, 300 * kS, 299},
        {300 * kS - 1, 300 * kS, 1}, {300 * kS, 300 * kS, 0}, {400 * kS, 300 * kS, 0},
    };
    for (const Remaining& r : remaining)
        EXPECT_EQ(RemainingSeconds(r.nowNs, r.deadlineNs), r.seconds) << r.nowNs;
    EXPECT_EQ(OffTimerMessage(QTime(12, 34, 56)),
              "Output zeroed: the off-timer ran out at 12:34:56");
    EXPECT_EQ(OffTimerMessage(QTime()), "Output zeroed: the off-timer ran out at --:--:--");
}

ProtectionSettings Settings(TripRule voltage, TripRule current, TripRule power, int frames = 3) {
    return {voltage, current, power, frames};
}

constexpr TripRule kOff{};

// "current 1030 > 1000 x3", or "none".
std::string Describe(const std::optional<Trip>& trip) {
    if (!trip) return "none";
    const char* names[] = {"voltage", "current", "power"};
    return std::string(names[int(trip->quantity)]) + " " + std::to_string(trip->value) + " > " +
           std::to_string(trip->threshold) + " x" + std::to_string(trip->frames);
}

TEST(Protection, TripsAfterFramesInARowOnly) {
    struct Case {
        const char* name;
        ProtectionSettings settings;
        std::vector<std::pair<int, int>> frames; // decivolts, centiamps
        int firesAt;                             // -1: never
        const char* trip;
    };
    const TripRule ocp{true, 1000}, ovp{true, 12000};
    const auto current = Settings(kOff, ocp, kOff);
    const Case cases[] = {
        {"noise never trips",
         current,
         {{50, 101}, {50, 50}, {50, 101}, {50, 101}, {50, 50}},
         -1,
         "none"},
        {"three in a row", current, {{50, 101}, {50, 102}, {50, 103}}, 2, "current 1030 > 1000 x3"},
        {"a frame at the threshold starts the count again",
         current,
         {{50, 101}, {50, 101}, {50, 100}, {50, 101}, {50, 101}, {50, 101}},
         5,
         "current 1010 > 1000 x3"},
        {"one frame", Settings(kOff, ocp, kOff, 1), {{50, 101}}, 0, "current 1010 > 1000 x1"},
        {"off never trips", Settings(kOff, kOff, kOff, 1), {{999, 999}, {999, 999}}, -1, "none"},
        {"over-voltage",
         Settings(ovp, kOff, kOff),
         {{121, 10}, {121, 10}, {125, 10}},
         2,
         "voltage 12500 > 12000 x3"},
        {"over-power",
         Settings(kOff, kOff, {true, 15000}),
         {{123, 123}, {123, 123}, {123, 123}},
         2,
         "power 15129 > 15000 x3"},
        {"power at the threshold",
         Settings(kOff, kOff, {true, 15129}, 1),
         {{123, 123}},
         -1,
         "none"},
        {"voltage first when both fire",
         Settings(ovp, ocp, kOff),
         {{121, 101}, {121, 101}, {121, 101}},
         2,
         "voltage 12100 > 12000 x3"},
        {"quantities do not add up",
         Settings(ovp, ocp, kOff),
         {{121, 50}, {50, 101}, {121, 50}, {50, 101}},
         -1,
         "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Protection protection(c.settings);
        for (int i = 0; i < int(c.frames.size()); ++i) {
            const auto trip = protection.take(Values{c.frames[i].first, c.frames[i].second});
            ASSERT_EQ(trip.has_value(), i == c.firesAt) << "frame " << i;
        }
        EXPECT_EQ(Describe(protection.trip()), c.trip);
    }
}

TEST(Protection, StaysTrippedUntilClearedAndCountsAgainAfter) {
    Protection protection(Settings(kOff, {true, 1000}, kOff, 2));
    EXPECT_FALSE(protection.take(Values{50, 101}));
    EXPECT_TRUE(protection.take(Values{50, 101}));
    EXPECT_FALSE(protection.take(Values{50, 200})) << "fires once";
    EXPECT_EQ(protection.trip()->value, 1010);
    protection.clear();
    EXPECT_FALSE(protection.trip());
    EXPECT_FALSE(protection.take(Values{50, 101})) << "the count starts again";
    EXPECT_TRUE(protection.take(Values{50, 101}));

    // Settings given again keep the count; a changed rule starts its own again.
    Protection other(Settings({true, 12000}, {true, 1000}, kOff, 3));
    other.take(Values{121, 101});
    other.take(Values{121, 101});
    other.setSettings(Settings({true, 12000}, {true, 900}, kOff, 3));
    const auto trip = other.take(Values{50, 101});
    ASSERT_FALSE(trip) << "voltage below, current counted from zero";
    other.setSettings(other.settings());
    other.take(Values{50, 101});
    ASSERT_TRUE(other.take(Values{50, 101}));
    EXPECT_EQ(other.trip()->threshold, 900);
}

std::string Describe(const ProtectionSettings& s) {
    const auto rule = [](const TripRule& r) {
        return r.on ? std::to_string(r.threshold) : std::string("off");
    };
    return "V " + rule(s.voltage) + " I " + rule(s.current) + " P " + rule(s.power) + " N " +
           std::to_string(s.frames);
}

TEST(Protection, StoredSettingsTurnARuleOffUnlessAWholeNumberInRange) {
    struct Case {
        ProtectionTexts texts;
        const char* settings;
    };
    // The 1A/20V model: 20000 mV, 1000 mA, so at most 20000 mW.
    const Case cases[] = {
        {{}, "V off I off P off N 3"},
        {{"12000", "500", "6000", "5"}, "V 12000 I 500 P 6000 N 5"},
        {{"-5", "0", "abc", "0"}, "V off I off P off N 3"},
        {{"12000.5", "+500", "", "-2"}, "V off I off P off N 3"},
        {{"20001", "1001", "20001", "x"}, "V off I off P off N 3"},
        {{"20000", "1000", "20000", "1"}, "V 20000 I 1000 P 20000 N 1"},
        {{"0012000", " 500", "1e3", "5000"}, "V 12000 I off P off N 1000"},
        {{"99999999999999999999", "500 ", "15000", "3.5"}, "V off I off P 15000 N 3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Describe(ParseProtectionSettings(c.texts, LimitsOf(Model::Small1A20V))),
                  c.settings)
            << c.texts.voltage.toStdString() << " " << c.texts.current.toStdString();
    }
    EXPECT_EQ(Describe(ParseProtectionSettings({"25000", "2500", "62500", ""},
                                               LimitsOf(Model::Large2A5_25V))),
              "V 25000 I 2500 P 62500 N 3");

    QTemporaryDir dir;
    QSettings store(dir.filePath("stored.ini"), QSettings::IniFormat);
    SaveProtectionSettings(store, Settings({true, 1}, {true, 2}, {true, 3}, 4));
    SaveProtectionSettings(store, Settings({true, 12000}, kOff, {true, 6000}, 5));
    EXPECT_EQ(Describe(ReadProtectionSettings(store, LimitsOf(Model::Small1A20V))),
              "V 12000 I off P 6000 N 5");
    EXPECT_EQ(store.value("Protection/OVP_mV").toString(), "12000");
    EXPECT_FALSE(store.contains("Protection/OCP_mA"));
}

TEST(Protection, Messages) {
    const QTime at(12, 34, 56);
    const std::pair<Trip, const char*> cases[] = {
        {{Quantity::Current, 1230, 1000, 3},
         "Output zeroed: current 1.23 A above 1.00 A for 3 frames at 12:34:56"},
        {{Quantity::Voltage, 12300, 12000, 3},
         "Output zeroed: voltage 12.3 V above 12.0 V for 3 frames at 12:34:56"},
        {{Quantity::Voltage, 12100, 12050, 3},
         "Output zeroed: voltage 12.1 V above 12.05 V for 3 frames at 12:34:56"},
        {{Quantity::Voltage, 12400, 12345, 10},
         "Output zeroed: voltage 12.4 V above 12.345 V for 10 frames at 12:34:56"},
        {{Quantity::Current, 1010, 1005, 1},
         "Output zeroed: current 1.01 A above 1.005 A for 1 frame at 12:34:56"},
        {{Quantity::Power, 15129, 15000, 3},
         "Output zeroed: power 15.129 W above 15.000 W for 3 frames at 12:34:56"},
        {{Quantity::Power, 998001, 1, 3},
         "Output zeroed: power 998.001 W above 0.001 W for 3 frames at 12:34:56"},
    };
    for (const auto& [trip, message] : cases)
        EXPECT_EQ(TripMessage(trip, at), message);
}

TEST(Meters, FramesLogIntegratedAsTheProgramDoes) {
    const std::string log = "1000 D 100  100  \n"
                            "1500 dropped 36 unread characters\n"
                            "2000 D 1?0  100  \n"
                            "2000 D 100  300  \n"
                            "3000 D 100  300  \n"
                            "x000 D 100  100  \n"
                            "6000 D 100  100  \n";
    const MeterReadings r = test::MetersOfFramesLog(log).readings();
    EXPECT_EQ(r.frames, 4);
    EXPECT_EQ(r.gaps, 1);
    EXPECT_EQ(r.runNs, 2 * kS);
    EXPECT_DOUBLE_EQ(r.ampHours, 5.0 / 3600);
}

} // namespace
} // namespace velmora
