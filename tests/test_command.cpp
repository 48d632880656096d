// The set-point command's bytes for both models, and the "000" pattern.

#include "unit/command.h"
#include "unit/setpoint_rules.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct CommandCase {
    const char* name;
    Model model;
    qint16 voltageMv;
    qint16 currentMa;
    QByteArray bytes;
};

class CommandBytes : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandBytes, AreExact) {
    const CommandCase& c = GetParam();
    EXPECT_EQ(
        BuildSetpointCommand(c.model, {Millivolts(c.voltageMv), Milliamps(c.currentMa)}).toHex(' '),
        c.bytes.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(
    BothModels, CommandBytes,
    ::testing::Values(
        CommandCase{"Large12500mV1500mA", Model::Large2A5_25V, 12500, 1500,
                    "\x31\x32\x35\r\x31\x35\x30\r"},
        CommandCase{"Small10000mV500mA", Model::Small1A20V, 10000, 500,
                    "\x31\x30\x30\r\x31\x30\x30\r"},
        CommandCase{"SmallAtLimits", Model::Small1A20V, 20000, 1000,
                    "\x32\x30\x30\r\x32\x30\x30\r"},
        CommandCase{"LargeAtLimits", Model::Large2A5_25V, 25000, 2500,
                    "\x32\x35\x30\r\x32\x35\x30\r"},
        CommandCase{"SmallZeros", Model::Small1A20V, 0, 0, "000\r000\r"},
        CommandCase{"LargeZeros", Model::Large2A5_25V, 0, 0, "000\r000\r"},
        // Voltage is truncated, never rounded, on either model.
        CommandCase{"Large12550mVTruncated", Model::Large2A5_25V, 12550, 0, "125\r000\r"},
        CommandCase{"Small12599mVTruncated", Model::Small1A20V, 12599, 0, "125\r000\r"},
        CommandCase{"Small99mV", Model::Small1A20V, 99, 0, "000\r000\r"},
        // Current is rounded, halves up.
        CommandCase{"Large1505mAHalfUp", Model::Large2A5_25V, 0, 1505, "000\r151\r"},
        CommandCase{"Large1504mA", Model::Large2A5_25V, 0, 1504, "000\r150\r"},
        CommandCase{"Large5mAHalfUp", Model::Large2A5_25V, 0, 5, "000\r001\r"},
        CommandCase{"Large4mA", Model::Large2A5_25V, 0, 4, "000\r000\r"},
        CommandCase{"Small502mA", Model::Small1A20V, 0, 502, "000\r100\r"},
        CommandCase{"Small503mA", Model::Small1A20V, 0, 503, "000\r101\r"},
        CommandCase{"Small10mA", Model::Small1A20V, 0, 10, "000\r002\r"},
        CommandCase{"Small5100mV", Model::Small1A20V, 5100, 0, "051\r000\r"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Command, NoModelBuildsNothing) {
    EXPECT_TRUE(BuildSetpointCommand(Model::None, {Millivolts(12500), Milliamps(500)}).isEmpty());
}

// Every set-point pair within a model's limits gives eight characters: three
// digits, CR, three digits, CR, with the values scaled as the unit expects.
TEST(Command, EverySetpointWithinLimitsIsWellFormed) {
    struct Limits {
        Model model;
        int voltage;
        int current;
        int currentStep;
    };
    for (const Limits& m : {Limits{Model::Small1A20V, 20000, 1000, 5},
                            Limits{Model::Large2A5_25V, 25000, 2500, 10}}) {
        // The fields do not depend on each other: each is run through its whole
        // range with the other one at its limit.
        const auto check = [&](int mv, int ma) {
            const QByteArray c = BuildSetpointCommand(m.model, {Millivolts(mv), Milliamps(ma)});
            ASSERT_EQ(c.size(), 8) << mv << " mV " << ma << " mA";
            ASSERT_EQ(c[3], '\r');
            ASSERT_EQ(c[7], '\r');
            for (int i : {0, 1, 2, 4, 5, 6})
                ASSERT_TRUE(c[i] >= '0' && c[i] <= '9') << c.constData();
            ASSERT_EQ(c.left(3).toInt(), mv / 100) << mv << " mV";
            // Halves up in whole numbers: (2 * mA + step) / (2 * step).
            ASSERT_EQ(c.mid(4, 3).toInt(), (2 * ma + m.currentStep) / (2 * m.currentStep))
                << ma << " mA";
        };
        for (int mv = 0; mv <= m.voltage; ++mv)
            check(mv, m.current);
        for (int ma = 0; ma <= m.current; ++ma)
            check(m.voltage, ma);
    }
}

// The rules every set-point meets at the session's door, and every check
// beforehand: rounded to the unit's steps, then the model's range, then the
// user's limits, each refusal with its one reason.
TEST(SetpointRules, RoundThenCheckRangeThenUserLimits) {
    const UserLimits none, own{Millivolts(12000), Milliamps(500)};
    const struct {
        Model model;
        UserLimits user;
        int mV, mA;
        int roundedMv, roundedMa;
        Refusal refusal;
        const char* reason;
    } cases[] = {
        {Model::Small1A20V, none, 5049, 502, 5000, 500, Refusal::None, ""},
        {Model::Small1A20V, none, 5050, 503, 5100, 505, Refusal::None, ""},
        {Model::Large2A5_25V, none, 5050, 1505, 5100, 1510, Refusal::None, ""},
        {Model::Small1A20V, none, 20049, 1002, 20000, 1000, Refusal::None, ""},
        {Model::Small1A20V, none, 20050, 0, 20100, 0, Refusal::PastModelRange,
         "voltage 20.1 V is past the 1A/20V model's 20.0 V"},
        {Model::Small1A20V, none, 0, 2500, 0, 2500, Refusal::PastModelRange,
         "current 2.50 A is past the 1A/20V model's 1.00 A"},
        {Model::Large2A5_25V, none, 99900, 0, 99900, 0, Refusal::PastModelRange,
         "voltage 99.9 V is past the 2,5A/25V model's 25.0 V"},
        {Model::Large2A5_25V, none, -100, 0, -100, 0, Refusal::PastModelRange,
         "voltage -0.1 V is below 0"},
        {Model::Small1A20V, own, 12000, 500, 12000, 500, Refusal::None, ""},
        {Model::Small1A20V, own, 12100, 0, 12100, 0, Refusal::PastUserLimit,
         "voltage 12.1 V is above your own limit of 12.0 V"},
        {Model::Small1A20V, own, 0, 505, 0, 505, Refusal::PastUserLimit,
         "current 0.505 A is above your own limit of 0.50 A"},
        {Model::None, none, 1000, 0, 1000, 0, Refusal::NoModel, "no model chosen"},
        {Model::None, none, 0, 4, 0, 0, Refusal::None, ""}, // the zero, the same on both
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << ModelName(c.model).toStdString() << " " << c.mV << " mV " << c.mA << " mA");
        const SetpointCheck check =
            CheckSetpoints(c.model, c.user, {Millivolts(c.mV), Milliamps(c.mA)});
        EXPECT_EQ(check.setpoints, (Setpoints{Millivolts(c.roundedMv), Milliamps(c.roundedMa)}));
        EXPECT_EQ(check.refusal, c.refusal);
        EXPECT_EQ(check.reason.toStdString(), c.reason);
    }
    EXPECT_EQ(HighestVoltage(Model::Small1A20V, {Millivolts(12345), {}}), Millivolts(12300));
    EXPECT_EQ(HighestCurrent(Model::Small1A20V, {{}, Milliamps(503)}), Milliamps(500));
    EXPECT_EQ(HighestCurrent(Model::Large2A5_25V, none), Milliamps(2500));
}

TEST(Format000, PadsAndRoundsHalvesUp) {
    const std::pair<double, QByteArray> cases[] = {
        {0, "000"},        {0.49, "000"},  {0.5, "001"},     {7, "007"},
        {42, "042"},       {100.4, "100"}, {100.6, "101"},   {150.5, "151"},
        {150.4999, "150"}, {250, "250"},   {999.5, "1000"},  {1234, "1234"},
        {-0.4, "000"},     {-7, "-007"},   {-1234, "-1234"}, {99999999, "99999999"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(Format000(value), text) << value;
}

} // namespace
} // namespace velmora
