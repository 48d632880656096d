// The stored settings: where they live, what a first run gets, that anything
// but a whole 16-bit number keeps the default, the user's limits, and that
// every change tells whether it reached the file.

#include "core/settings_store.h"
#include "session/session.h"
#include "support/fake_clock.h"
#include "support/fake_line.h"
#include "support/panel_on_pty.h"
#include "support/print_qt.h"
#include "support/session_on_fake_line.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

class Store : public ::testing::Test {
  protected:
    QString path() const { return dir_.filePath(QStringLiteral("Tarnholm.conf")); }
    /// Stores the texts under "Netzteil" as a user's earlier run left them.
    void put(const QStringList& entries) {
        QStringList keyed;
        for (const QString& entry : entries)
            keyed << (entry.section(u'=', 0, 0).contains(u'/')
                          ? entry
                          : QStringLiteral("Netzteil/") + entry);
        test::SessionOnFakeLine::Store(path(), keyed);
    }
    /// What a start of the program reads from the file as it is now.
    StoredSettings load() const { return SettingsStore(path()).load(); }
    QByteArray fileText() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // What the program starts with when nothing usable is stored.
    static void ExpectTheDefaults(const StoredSettings& s) {
        EXPECT_EQ(s.voltageLimit, Millivolts(20000));
        EXPECT_EQ(s.currentLimit, Milliamps(1000));
        EXPECT_EQ(s.port, 2);
        EXPECT_EQ(s.recordFileName, "Velmora.log");
        EXPECT_EQ(s.controlFileName, "Velmora.dat");
        EXPECT_TRUE(s.portDevices.isEmpty());
    }

    QTemporaryDir dir_;
};

TEST_F(Store, FirstRunGetsTheDefaults) {
    const StoredSettings s = load();
    ExpectTheDefaults(s);
    EXPECT_EQ(ModelFromCurrentLimit(s.currentLimit), Model::Small1A20V);
    EXPECT_FALSE(QFile::exists(path())); // reading creates nothing
}

TEST_F(Store, StoredValuesReplaceTheDefaults) {
    put({"NLU=25000", "NLI=2500", "Com=3", "Log=runs/today.log", "Dat=ramp, slow.dat",
         "Ports/COM3=/dev/ttyUSB0", "Ports/COM4=", "Ports/ttyX=/dev/ttyS9"});
    const StoredSettings s = load();
    EXPECT_EQ(s.voltageLimit, Millivolts(25000));
    EXPECT_EQ(s.currentLimit, Milliamps(2500));
    EXPECT_EQ(s.port, 3);
    EXPECT_EQ(s.recordFileName, "runs/today.log");
    EXPECT_EQ(s.controlFileName, "ramp, slow.dat");
    EXPECT_EQ(s.portDevices, (QMap<int, QString>{{3, "/dev/ttyUSB0"}}));
    EXPECT_EQ(ModelFromCurrentLimit(s.currentLimit), Model::Large2A5_25V);
}

TEST_F(Store, EmptyValuesKeepTheDefaults) {
    put({"NLU=", "NLI=", "Com=", "Log=", "Dat="});
    ExpectTheDefaults(load());
}

TEST_F(Store, NumbersThatAreNotWhole16BitNumbersKeepTheDefaults) {
    for (const char* garbage : {"abc", "99999", "12x", " 7", "7 ", "+7", "3.5", "-", "32768",
                                "0x10", "1e3", "١٢", "00000000000032768", "99999999999999999999"}) {
        SCOPED_TRACE(garbage);
        const QString text = QString::fromUtf8(garbage);
        put({"NLU=" + text, "NLI=" + text, "Com=" + text});
        ExpectTheDefaults(load());
        EXPECT_FALSE(ParseInt16(text).has_value());
    }
}

TEST_F(Store, WholeNumbersAreTakenAsTheyStand) {
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
    put({"NLI=1500"});
    EXPECT_EQ(load().currentLimit, Milliamps(1500));
    EXPECT_EQ(ModelFromCurrentLimit(load().currentLimit), Model::None);
}

// The user's limits: whole mV and mA from 0 to the model's limit, per model.
// Anything else leaves the model's limit in force and is named as unreadable;
// nothing stored, or an empty value, is no limit and nothing to tell.
TEST_F(Store, UserLimitsAreWholeNumbersWithinTheModelsRange) {
    const struct {
        Model model;
        const char* voltage; // nullptr: not stored
        const char* current;
        std::optional<int> voltageRead;
        std::optional<int> currentRead;
        QStringList unreadable;
    } cases[] = {
        {Model::Small1A20V, "12000", "500", 12000, 500, {}},
        {Model::Small1A20V, "20000", "1000", 20000, 1000, {}},
        {Model::Small1A20V, "0", "0", 0, 0, {}},
        {Model::Small1A20V, "20001", "1001", {}, {}, {"MaxU_1000=20001", "MaxI_1000=1001"}},
        {Model::Small1A20V, nullptr, "250", {}, 250, {}},
        {Model::Large2A5_25V, "25000", "2500", 25000, 2500, {}},
        {Model::Large2A5_25V, "25001", "2501", {}, {}, {"MaxU_2500=25001", "MaxI_2500=2501"}},
        {Model::Large2A5_25V, "", "", {}, {}, {}},
        {Model::Large2A5_25V, nullptr, nullptr, {}, {}, {}},
        {Model::Large2A5_25V, "+5000", "abc", {}, {}, {"MaxU_2500=+5000", "MaxI_2500=abc"}},
        {Model::Large2A5_25V, "12000.5", " 5", {}, {}, {"MaxU_2500=12000.5", "MaxI_2500= 5"}},
        {Model::Large2A5_25V, "-3", "0x10", {}, {}, {"MaxU_2500=-3", "MaxI_2500=0x10"}},
        {Model::Large2A5_25V, "99999", "1e3", {}, {}, {"MaxU_2500=99999", "MaxI_2500=1e3"}},
        {Model::Large2A5_25V, "0012000", "+7", 12000, {}, {"MaxI_2500=+7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.voltage ? c.voltage : "(none)") + " / " +
                     (c.current ? c.current : "(none)"));
        QFile::remove(path());
        const QString suffix = c.model == Model::Small1A20V ? "_1000" : "_2500";
        QStringList entries;
        if (c.voltage) entries << "Limits/MaxU" + suffix + "=" + c.voltage;
        if (c.current) entries << "Limits/MaxI" + suffix + "=" + c.current;
        put(entries);
        const StoredUserLimits read = SettingsStore(path()).userLimits(c.model);
        EXPECT_EQ(test::ValueOf(read.limits.voltage), c.voltageRead);
        EXPECT_EQ(test::ValueOf(read.limits.current), c.currentRead);
        EXPECT_EQ(read.unreadable, c.unreadable);
        const Model other = c.model == Model::Small1A20V ? Model::Large2A5_25V : Model::Small1A20V;
        EXPECT_EQ(SettingsStore(path()).userLimits(other).limits, UserLimits{});
        EXPECT_EQ(SettingsStore(path()).userLimits(Model::None).limits, UserLimits{});
    }
}

// Nothing stored: the buttons step within the model's limits, as always; a
// user limit lowers one, and a limit given as none leaves no key behind.
TEST_F(Store, TheSetpointLimitsAreTheModelsLoweredByTheUsers) {
    put({"NLU=25000", "NLI=2500"});
    test::FakeClock clock;
    Session session(clock, std::make_unique<test::FakeLine>(&clock), SettingsStore(path()));
    session.start();
    EXPECT_EQ(session.unit().setpointLimits(), (Limits{Millivolts(25000), Milliamps(2500)}));
    EXPECT_TRUE(session.unit().setUserLimits({Millivolts(12000), std::nullopt}).stored);
    EXPECT_EQ(session.unit().setpointLimits(), (Limits{Millivolts(12000), Milliamps(2500)}));
    EXPECT_TRUE(fileText().contains("MaxU_2500=12000")) << fileText().toStdString();
    EXPECT_FALSE(fileText().contains("MaxI_2500")) << fileText().toStdString();
    EXPECT_EQ(SettingsStore(path()).userLimits(Model::Large2A5_25V).limits,
              (UserLimits{Millivolts(12000), std::nullopt}));
}

TEST_F(Store, TextsComeBackExactlyAsStored) {
    SettingsStore store(path());
    for (const char* text : {"a,b.log", "with \"quotes\".log", "C:\\data\\run.log", " spaced ",
                             "@Invalid()", "Grüße.log", "a=b;c", "[Ports]", "line\nbreak"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(store.saveText(QStringLiteral("Log"), QString::fromUtf8(text)));
        EXPECT_EQ(store.text(QStringLiteral("Netzteil"), QStringLiteral("Log")),
                  QString::fromUtf8(text));
        EXPECT_EQ(load().recordFileName, QString::fromUtf8(text));
    }
    EXPECT_EQ(store.text(QStringLiteral("Netzteil"), QStringLiteral("NoSuchKey")), QString());
    // A value a user typed into the file with commas and no quotes is read
    // back as one text, not as a list (blanks after its commas are lost).
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Netzteil]\nLog=a,b,c.log\nDat=x.dat\n");
    file.close();
    EXPECT_EQ(load().recordFileName, "a,b,c.log");
    EXPECT_EQ(load().controlFileName, "x.dat");
}

TEST(UserStore, LivesInTarnholmConfUnderNetzteil) {
    test::ClearSettings();
    SettingsStore store;
    ASSERT_TRUE(store.savePort(4));
    ASSERT_TRUE(store.savePortDevice(4, QStringLiteral("/dev/ttyUSB0")));
    const QString file = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Tarnholm.conf");
    EXPECT_EQ(store.fileName(), file);
    QFile conf(file);
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly)) << file.toStdString();
    const QByteArray text = conf.readAll();
    EXPECT_TRUE(text.contains("[Netzteil]\nCom=4")) << text.toStdString();
    EXPECT_TRUE(text.contains("[Ports]\nCOM4=/dev/ttyUSB0")) << text.toStdString();
    EXPECT_EQ(SettingsStore().load().portDevices.value(4), "/dev/ttyUSB0");
    ASSERT_TRUE(store.savePortDevice(4, QString()));
    EXPECT_FALSE(SettingsStore().load().portDevices.contains(4));
    test::ClearSettings();
}

// Each change says whether it reached the file. (Root writes anywhere it may
// name: the file's name is made unusable, not its permissions.)
TEST_F(Store, EveryChangeTellsWhetherTheFileWasWritten) {
    const auto saves = [](SettingsStore& s) {
        return QList<std::pair<const char*, bool>>{
            {"saveText", s.saveText(QStringLiteral("Log"), QStringLiteral("a.log"))},
            {"saveModelLimits", s.saveModelLimits(LimitsOf(Model::Large2A5_25V))},
            {"savePort", s.savePort(3)},
            {"saveFileNames", s.saveFileNames(QStringLiteral("a.log"), QStringLiteral("b.dat"))},
            {"savePortDevice", s.savePortDevice(2, QStringLiteral("/dev/ttyUSB0"))},
            {"savePortDevice (removing)", s.savePortDevice(2, QString())},
            {"saveUserLimits",
             s.saveUserLimits(Model::Small1A20V, {Millivolts(12000), Milliamps(500)})},
        };
    };
    QFile regular(dir_.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
    regular.close();
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.conf")));
    const struct {
        const char* name;
        QString path;
        bool written;
    } cases[] = {
        {"a file in a folder", path(), true},
        {"a folder's name", dir_.filePath(QStringLiteral("folder.conf")), false},
        {"inside a regular file", dir_.filePath(QStringLiteral("plain/Tarnholm.conf")), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore store(c.path);
        for (const auto& [save, written] : saves(store))
            EXPECT_EQ(written, c.written) << save;
        EXPECT_EQ(QFileInfo(c.path).isFile(), c.written);
    }
}

} // namespace
} // namespace velmora
