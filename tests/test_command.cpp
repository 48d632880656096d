// The set-point command's bytes for both models, and the "000" pattern.

#include "unit/command.h"

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
    EXPECT_EQ(BuildSetpointCommand(c.model, c.voltageMv, c.currentMa).toHex(' '),
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
    EXPECT_TRUE(BuildSetpointCommand(Model::None, 12500, 500).isEmpty());
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
            const QByteArray c = BuildSetpointCommand(m.model, qint16(mv), qint16(ma));
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

// A record's values as its value places give them: 0.1 V as it stands, 0.01 A
// doubled on "1A/20V" for its 5 mA steps.
TEST(Command, RecordCommandsTakeTheRecordsValuesInTheModelsSteps) {
    const struct {
        Model model;
        int decivolts;
        int centiamps;
        QByteArray bytes;
    } cases[] = {
        {Model::Small1A20V, 51, 50, "051\r100\r"},
        {Model::Small1A20V, 200, 100, "200\r200\r"},
        {Model::Large2A5_25V, 51, 50, "051\r050\r"},
        {Model::Large2A5_25V, 250, 250, "250\r250\r"},
        {Model::Large2A5_25V, 0, 0, "000\r000\r"},
        // Past the model's range the field grows a fourth digit: nine characters.
        {Model::Small1A20V, 999, 999, "999\r1998\r"},
        {Model::None, 123, 45, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.decivolts << " / " << c.centiamps);
        EXPECT_EQ(BuildRecordCommand(c.model, c.decivolts, c.centiamps).toHex(' '),
                  c.bytes.toHex(' '));
    }
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
