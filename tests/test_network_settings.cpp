// The settings of the network services: the groups "MQTT" and "Metrics" as
// stored, --mqtt and --metrics, and the password file.

#include "core/command_line.h"
#include "core/settings_store.h"
#include "metrics/metrics_settings.h"
#include "mqtt/mqtt_settings.h"
#include "support/print_qt.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(MqttSettings, ReadFromTheStoredTexts) {
    struct Case {
        QMap<QString, QString> texts;
        std::function<void(MqttSettings&)> expected; // from the defaults
        QStringList problems;
    };
    const QList<Case> cases{
        {{}, [](MqttSettings&) {}, {}},
        {{{"Enabled", "true"},
          {"Host", "broker.lan"},
          {"Port", "1884"},
          {"Topic", "lab/bench"},
          {"ClientId", "bench-3"},
          {"Username", "lab"},
          {"PasswordFile", "/etc/velmora/pw"},
          {"CAFile", "/etc/velmora/ca.pem"},
          {"Commands", "true"},
          {"Discovery", "false"},
          {"Rate", "80"}},
         [](MqttSettings& s) {
             s.enabled = s.commands = true;
             s.discovery = false;
             s.host = QStringLiteral("broker.lan");
             s.port = 1884;
             s.topic = QStringLiteral("lab/bench");
             s.clientId = QStringLiteral("bench-3");
             s.username = QStringLiteral("lab");
             s.passwordFile = QStringLiteral("/etc/velmora/pw");
             s.caFile = QStringLiteral("/etc/velmora/ca.pem");
             s.rate = 80;
         },
         {}},
        {{{"Host", "::1"}}, [](MqttSettings& s) { s.host = QStringLiteral("::1"); }, {}},
        {{{"Enabled", "yes"}, {"Commands", "1"}},
         [](MqttSettings&) {},
         {"Enabled=yes is neither true nor false", "Commands=1 is neither true nor false"}},
        {{{"Host", "bad host"}},
         [](MqttSettings&) {},
         {"Host=bad host is no host name or address"}},
        {{{"Host", "-x.lan"}}, [](MqttSettings&) {}, {"Host=-x.lan is no host name or address"}},
        {{{"Port", "0"}}, [](MqttSettings&) {}, {"Port=0 is no port number"}},
        {{{"Port", "65536"}}, [](MqttSettings&) {}, {"Port=65536 is no port number"}},
        {{{"Port", "+1883"}}, [](MqttSettings&) {}, {"Port=+1883 is no port number"}},
        {{{"Topic", "lab/#"}},
         [](MqttSettings&) {},
         {"Topic=lab/# cannot be used: a topic may not hold + or #"}},
        {{{"Topic", "/lab"}},
         [](MqttSettings&) {},
         {"Topic=/lab cannot be used: a topic may not begin or end with / or hold an empty level"}},
        {{{"Topic", "$SYS/x"}},
         [](MqttSettings&) {},
         {"Topic=$SYS/x cannot be used: a topic may not begin with $"}},
        {{{"Rate", "0"}}, [](MqttSettings&) {}, {"Rate=0 is not a whole number from 1 to 80"}},
        {{{"Rate", "81"}}, [](MqttSettings&) {}, {"Rate=81 is not a whole number from 1 to 80"}},
        {{{"Rate", "2.5"}}, [](MqttSettings&) {}, {"Rate=2.5 is not a whole number from 1 to 80"}},
        {{{"ClientId", QString(201, u'x')}},
         [](MqttSettings&) {},
         {"ClientId=" + QString(40, u'x') + " is too long or holds control characters"}},
    };
    for (const Case& c : cases) {
        QStringList problems;
        MqttSettings expected;
        c.expected(expected);
        EXPECT_EQ(ReadMqttSettings(c.texts, &problems), expected)
            << c.texts.keys().join(',').toStdString();
        EXPECT_EQ(problems, c.problems);
    }
}

TEST(MqttSettings, DefaultsStoringAndTheRun) {
    MqttSettings s;
    EXPECT_EQ(MqttTopic(s, QStringLiteral("lab-pc.local")), QStringLiteral("velmora/lab-pc_local"));
    EXPECT_EQ(MqttClientId(s, QString()), QStringLiteral("velmora-localhost"));
    EXPECT_EQ(MqttPort(s), 1883);
    s.caFile = QStringLiteral("/ca.pem");
    EXPECT_EQ(MqttPort(s), 8883);
    s.port = 1884;
    EXPECT_EQ(MqttPort(s), 1884);

    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Tarnholm.conf")));
    MqttSettings stored;
    stored.enabled = true;
    stored.topic = QStringLiteral("lab/a,b");
    stored.commands = true;
    stored.rate = 12;
    ASSERT_TRUE(SaveMqttSettings(store, stored));
    QStringList problems;
    EXPECT_EQ(LoadMqttSettings(store, &problems), stored);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();

    const MqttSettings run = MqttSettingsForRun(store, QStringLiteral("10.0.0.7:1885"));
    EXPECT_TRUE(run.enabled);
    EXPECT_EQ(run.host, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(run.port, 1885);
    EXPECT_EQ(run.topic, stored.topic);
    EXPECT_EQ(MqttSettingsForRun(store, QString()), stored);
}

TEST(MqttSettings, BrokerPlaces) {
    struct Case {
        const char* text;
        std::optional<BrokerPlace> place;
    };
    for (const Case& c :
         std::initializer_list<Case>{{"127.0.0.1", BrokerPlace{"127.0.0.1", 0}},
                                     {"127.0.0.1:1884", BrokerPlace{"127.0.0.1", 1884}},
                                     {"broker.lan:8883", BrokerPlace{"broker.lan", 8883}},
                                     {"localhost", BrokerPlace{"localhost", 0}},
                                     {"[::1]:1883", BrokerPlace{"::1", 1883}},
                                     {"[::1]", BrokerPlace{"::1", 0}},
                                     {"::1", BrokerPlace{"::1", 0}},
                                     {"fe80::1", BrokerPlace{"fe80::1", 0}},
                                     {"broker.lan:", std::nullopt},
                                     {"broker.lan:0", std::nullopt},
                                     {"broker.lan:99999", std::nullopt},
                                     {":1883", std::nullopt},
                                     {"[broker.lan]:1883", std::nullopt},
                                     {"[::1]1883", std::nullopt},
                                     {"bro ker", std::nullopt},
                                     {"", std::nullopt}})
        EXPECT_EQ(ParseBrokerPlace(QString::fromLatin1(c.text)), c.place) << c.text;
    EXPECT_EQ(MqttArgumentProblem(QStringLiteral("a b")),
              QStringLiteral("--mqtt takes HOST[:PORT], such as 127.0.0.1 or broker.lan:1883, not "
                             "'a b'"));
    EXPECT_TRUE(MqttArgumentProblem(QStringLiteral("broker.lan")).isEmpty());
    EXPECT_TRUE(MqttArgumentProblem(QString()).isEmpty());
}

TEST(MqttSettings, ThePasswordFile) {
    QTemporaryDir dir;
    struct Case {
        QByteArray bytes;
        QFile::Permissions permissions;
        std::optional<QByteArray> password;
        const char* problem; // after "PasswordFile <path> "
    };
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    const QList<Case> cases{
        {"s3cret\n", owner, QByteArray("s3cret"), ""},
        {"s3cret", QFile::ReadOwner, QByteArray("s3cret"), ""},
        {"with spaces \r\n", owner, QByteArray("with spaces "), ""},
        {"s3cret\n", owner | QFile::ReadGroup, std::nullopt,
         "is open to its group or others (mode 0640): chmod 600 it"},
        {"s3cret\n", owner | QFile::ReadOther, std::nullopt,
         "is open to its group or others (mode 0604): chmod 600 it"},
        {"\n", owner, std::nullopt, "is empty"},
        {"one\ntwo\n", owner, std::nullopt, "holds more than one line"},
        {QByteArray(2000, 'x'), owner, std::nullopt,
         "is larger than 1024 bytes: it holds only the password"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("pw%1").arg(++n));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        file.setPermissions(c.permissions);
        QString error;
        EXPECT_EQ(ReadPasswordFile(path, &error), c.password) << n;
        EXPECT_EQ(error, c.password ? QString()
                                    : QStringLiteral("PasswordFile %1 %2").arg(path, c.problem));
    }
    QString error;
    EXPECT_FALSE(ReadPasswordFile(dir.path(), &error));
    EXPECT_EQ(error, QStringLiteral("PasswordFile %1 cannot be read: file to open is a directory")
                         .arg(dir.path()));
}

TEST(MetricsSettings, PlacesAndStoredTexts) {
    struct Case {
        const char* text;
        std::optional<MetricsSettings> settings;
    };
    const QHostAddress loopback(QHostAddress::LocalHost);
    for (const Case& c : std::initializer_list<Case>{
             {"9464", MetricsSettings{loopback, 9464}},
             {"127.0.0.1:9464", MetricsSettings{loopback, 9464}},
             {"0.0.0.0:9100", MetricsSettings{QHostAddress(QStringLiteral("0.0.0.0")), 9100}},
             {"[::1]:9464", MetricsSettings{QHostAddress(QStringLiteral("::1")), 9464}},
             {"0", std::nullopt},
             {"65536", std::nullopt},
             {"host.lan:9464", std::nullopt},
             {"9464x", std::nullopt},
             {"", std::nullopt}})
        EXPECT_EQ(ParseMetricsPlace(QString::fromLatin1(c.text)), c.settings) << c.text;

    QStringList problems;
    EXPECT_EQ(ReadMetricsSettings({}, {}, &problems), MetricsSettings());
    EXPECT_FALSE(MetricsSettings().enabled());
    EXPECT_EQ(ReadMetricsSettings(QStringLiteral("9464"), QStringLiteral("0.0.0.0"), &problems),
              (MetricsSettings{QHostAddress(QStringLiteral("0.0.0.0")), 9464}));
    EXPECT_EQ(ReadMetricsSettings(QStringLiteral("x"), QStringLiteral("lan"), &problems),
              MetricsSettings());
    EXPECT_EQ(problems, (QStringList{QStringLiteral("Port=x is no port number"),
                                     QStringLiteral("Address=lan is no address")}));
    EXPECT_EQ(MetricsArgumentProblem(QStringLiteral("lan:1")),
              QStringLiteral("--metrics takes [ADDRESS:]PORT, such as 9464 or 0.0.0.0:9464, not "
                             "'lan:1'"));

    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("Tarnholm.conf")));
    store.saveTexts(QStringLiteral("Metrics"), {{QStringLiteral("Port"), QStringLiteral("9464")}});
    EXPECT_EQ(MetricsSettingsForRun(store, QString()), (MetricsSettings{loopback, 9464}));
    EXPECT_EQ(MetricsSettingsForRun(store, QStringLiteral("0.0.0.0:9100")).port, 9100);
}

TEST(NetworkCommandLine, MqttAndMetricsForOneRun) {
    struct Case {
        QStringList arguments;
        const char* mqtt;
        const char* metrics;
        const char* error;
    };
    for (const Case& c : std::initializer_list<Case>{
             {{"--mqtt", "broker.lan:1883"}, "broker.lan:1883", "", ""},
             {{"--mqtt=127.0.0.1", "--metrics", "9464"}, "127.0.0.1", "9464", ""},
             {{"--headless", "--metrics=0.0.0.0:9464"}, "", "0.0.0.0:9464", ""},
             {{"--mqtt"}, "", "", "velmora: option '--mqtt' needs HOST[:PORT] (see --help)"},
             {{"--mqtt="}, "", "", "velmora: option '--mqtt' needs HOST[:PORT] (see --help)"},
             {{"--metrics"},
              "",
              "",
              "velmora: option '--metrics' needs [ADDRESS:]PORT (see --help)"},
             {{"--mqttx"}, "", "", "velmora: unknown option '--mqttx' (see --help)"}}) {
        const CommandLine line = ReadCommandLine(c.arguments);
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        EXPECT_EQ(line.action, *c.error ? CommandLine::Error : CommandLine::Run);
        EXPECT_EQ(line.text, QString::fromLatin1(c.error));
        if (!*c.error) {
            EXPECT_EQ(line.mqtt, QString::fromLatin1(c.mqtt));
            EXPECT_EQ(line.metrics, QString::fromLatin1(c.metrics));
        }
    }
    EXPECT_TRUE(ReadCommandLine({QStringLiteral("--help")})
                    .text.contains(
                        QStringLiteral("  --mqtt HOST[:PORT]         publish to the MQTT broker")));
}

} // namespace
} // namespace velmora
