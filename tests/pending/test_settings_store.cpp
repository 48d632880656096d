// The stored settings: where they live, what a first run gets, and that
// anything but a whole 16-bit number keeps the default.

#include "core/limits.h"
#include "core/settings_store.h"
#include "core/state.h"
#include "support/panel_on_pty.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ClearSettings();
        ResetSharedState();
    }
    // What the program starts with when nothing usable is stored.
    static void ExpectTheDefaults() {
        EXPECT_EQ(Shared.VoltageLimit, 20000);
        EXPECT_EQ(Shared.CurrentLimit, 1000);
        EXPECT_EQ(Shared.PortNumber, 2);
        EXPECT_EQ(Shared.RecordFileName, "Velmora.log");
        EXPECT_EQ(Shared.ControlFileName, "Velmora.dat");
    }
};

TEST_F(SettingsStore, FirstRunGetsTheDefaults) {
    Shared.VoltageLimit = 1;
    Shared.CurrentLimit = 1;
    Shared.PortNumber = 9;
    LoadSettings();
    ExpectTheDefaults();
    EXPECT_EQ(CurrentModel(), Model::Small1A20V);
    EXPECT_EQ(Shared.VoltageSetpoint, 0);
    EXPECT_EQ(Shared.CurrentSetpoint, 0);
}

TEST_F(SettingsStore, StoredValuesReplaceTheDefaults) {
    SaveSetting("NLU", "25000");
    SaveSetting("NLI", "2500");
    SaveSetting("Com", "3");
    SaveSetting("Log", "runs/today.log");
    SaveSetting("Dat", "ramp, slow.dat");
    LoadSettings();
    EXPECT_EQ(Shared.VoltageLimit, 25000);
    EXPECT_EQ(Shared.CurrentLimit, 2500);
    EXPECT_EQ(Shared.PortNumber, 3);
    EXPECT_EQ(Shared.RecordFileName, "runs/today.log");
    EXPECT_EQ(Shared.ControlFileName, "ramp, slow.dat");
    EXPECT_EQ(CurrentModel(), Model::Large2A5_25V);
}

TEST_F(SettingsStore, EmptyValuesKeepTheDefaults) {
    for (const char* key : {"NLU", "NLI", "Com", "Log", "Dat"})
        SaveSetting(key, "");
    LoadSettings();
    ExpectTheDefaults();
}

TEST_F(SettingsStore, NumbersThatAreNotWhole16BitNumbersKeepTheDefaults) {
    for (const char* garbage : {"abc", "99999", "12x", " 7", "7 ", "+7", "3.5", "-", "32768",
                                "0x10", "1e3", "١٢", "00000000000032768", "99999999999999999999"}) {
        SCOPED_TRACE(garbage);
        SaveSetting("NLU", garbage);
        SaveSetting("NLI", garbage);
        SaveSetting("Com", garbage);
        LoadSettings();
        ExpectTheDefaults();
    }
}

TEST_F(SettingsStore, WholeNumbersAreTakenAsTheyStand) {
    const struct {
        const char* text;
        qint16 value;
    } cases[] = {{"0", 0},
                 {"7", 7},
                 {"007", 7},
                 {"32767", 32767},
                 {"-32768", -32768},
                 {"-1", -1},
                 // Found by fuzzing: leading zeros do not make a number too long.
                 {"000000000000", 0},
                 {"-0000000032768", -32768},
                 {"0000000000000000001000", 1000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(ParseInt16(c.text).has_value());
        EXPECT_EQ(*ParseInt16(c.text), c.value);
    }
    // A current limit that names no model loads all the same; the model is
    // only looked at when something needs it.
    SaveSetting("NLI", "1500");
    LoadSettings();
    EXPECT_EQ(Shared.CurrentLimit, 1500);
    EXPECT_EQ(CurrentModel(), Model::None);
}

// The user's limits: whole mV and mA within the model's range, per model;
// anything else is as if nothing were stored.
TEST_F(SettingsStore, UserLimitsAreWholeNumbersWithinTheModelsRange) {
    const struct {
        Model model;
        const char* voltage;
        const char* current;
        std::optional<qint16> voltageRead;
        std::optional<qint16> currentRead;
    } cases[] = {
        {Model::Small1A20V, "12000", "500", 12000, 500},
        {Model::Small1A20V, "20000", "1000", 20000, 1000},
        {Model::Small1A20V, "0", "0", 0, 0},
        {Model::Small1A20V, "20001", "1001", {}, {}},
        {Model::Large2A5_25V, "25000", "2500", 25000, 2500},
        {Model::Large2A5_25V, "25001", "2501", {}, {}},
        {Model::Large2A5_25V, "", "", {}, {}},
        {Model::Large2A5_25V, "-1", "12.5", {}, {}},
        {Model::Large2A5_25V, " 500", "abc", {}, {}},
        {Model::Large2A5_25V, "99999", "0x10", {}, {}},
        {Model::Large2A5_25V, "0012000", "+7", 12000, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " / " + c.current);
        test::ClearSettings();
        QSettings store(QStringLiteral("Tarnholm"), QString());
        const QString suffix = c.model == Model::Small1A20V ? "_1000" : "_2500";
        store.setValue("Limits/MaxU" + suffix, c.voltage);
        store.setValue("Limits/MaxI" + suffix, c.current);
        const UserLimits read = ReadUserLimits(c.model);
        EXPECT_EQ(read.voltage, c.voltageRead);
        EXPECT_EQ(read.current, c.currentRead);
        const Model other = c.model == Model::Small1A20V ? Model::Large2A5_25V : Model::Small1A20V;
        EXPECT_FALSE(ReadUserLimits(other).voltage.has_value());
    }
    // Nothing stored: the buttons step within the shared limits, as always.
    test::ClearSettings();
    Shared.VoltageLimit = 25000;
    Shared.CurrentLimit = 2500;
    EXPECT_EQ(SetpointLimits().voltage, 25000);
    EXPECT_EQ(SetpointLimits().current, 2500);
    SaveUserLimits(Model::Large2A5_25V, {12000, std::nullopt});
    EXPECT_EQ(SetpointLimits().voltage, 12000);
    EXPECT_EQ(SetpointLimits().current, 2500);
    EXPECT_FALSE(QSettings(QStringLiteral("Tarnholm"), QString()).contains("Limits/MaxI_2500"));
}

TEST_F(SettingsStore, TextsComeBackExactlyAsStored) {
    for (const char* text : {"a,b.log", "with \"quotes\".log", "C:\\data\\run.log", " spaced ",
                             "@Invalid()", "Grüße.log", "a=b;c"}) {
        SCOPED_TRACE(text);
        SaveSetting("Log", text);
        EXPECT_EQ(ReadSetting("Log"), QString::fromUtf8(text));
    }
    EXPECT_EQ(ReadSetting("NoSuchKey"), QString());
}

TEST_F(SettingsStore, LivesInTarnholmConfUnderNetzteil) {
    SaveSetting("Com", "4");
    SavePortMapping(4, "/dev/ttyUSB0");
    QSettings(QStringLiteral("Tarnholm"), QString()).sync();
    const QString file = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Tarnholm.conf");
    QFile conf(file);
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly)) << file.toStdString();
    const QByteArray text = conf.readAll();
    EXPECT_TRUE(text.contains("[Netzteil]\nCom=4")) << text.toStdString();
    EXPECT_TRUE(text.contains("[Ports]\nCOM4=/dev/ttyUSB0")) << text.toStdString();
    EXPECT_EQ(ReadPortMapping(4), "/dev/ttyUSB0");
    SavePortMapping(4, QString());
    EXPECT_EQ(ReadPortMapping(4), QString());
}

} // namespace
