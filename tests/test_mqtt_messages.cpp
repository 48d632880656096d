// The bytes the MQTT bridge publishes and reads: topics, the state and
// event JSON, Home Assistant's discovery configurations and the commands.

#include "mqtt/mqtt_command.h"
#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_messages.h"
#include "support/fake_bench_feed.h"
#include "support/print_qt.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace velmora {
namespace {

const QTimeZone kBerlin("Europe/Berlin");

qint64 Utc(int y, int mo, int d, int h, int mi, int s, int ms) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

TEST(MqttMessages, NumbersStringsAndTimes) {
    struct Number {
        double value;
        int decimals;
        const char* text;
    };
    for (const Number& n : std::initializer_list<Number>{{5, 3, "5.0"},
                                                         {0.5, 3, "0.5"},
                                                         {12.3 * 1.23, 3, "15.129"},
                                                         {0.0123, 6, "0.0123"},
                                                         {1.0 / 3, 6, "0.333333"},
                                                         {0.0004, 3, "0.0"},
                                                         {-0.0004, 3, "0.0"},
                                                         {-2.5, 3, "-2.5"},
                                                         {100, 3, "100.0"},
                                                         {std::nan(""), 3, "null"},
                                                         {HUGE_VAL, 3, "null"}})
        EXPECT_EQ(JsonNumber(n.value, n.decimals), QByteArray(n.text)) << n.value;

    struct Text {
        QString text;
        const char* json;
    };
    for (const Text& t : std::initializer_list<Text>{
             {QStringLiteral("idle"), R"("idle")"},
             {QStringLiteral("say \"hi\" \\ there"), R"("say \"hi\" \\ there")"},
             {QStringLiteral("a\nb\tc\x01"), R"("a\u000ab\u0009c\u0001")"},
             {QStringLiteral("2,5A/25V µ"), "\"2,5A/25V \xc2\xb5\""}})
        EXPECT_EQ(JsonString(t.text), QByteArray(t.json)) << t.text.toStdString();

    struct Time {
        qint64 ms;
        QTimeZone zone;
        const char* text;
    };
    for (const Time& t : std::initializer_list<Time>{
             {Utc(2026, 12, 8, 13, 30, 0, 120), kBerlin, "2026-12-08T14:30:00.120+01:00"},
             {Utc(2026, 7, 1, 22, 0, 0, 5), kBerlin, "2026-07-02T00:00:00.005+02:00"},
             {Utc(2026, 12, 8, 13, 30, 0, 120), QTimeZone::utc(), "2026-12-08T13:30:00.120+00:00"},
             {Utc(2026, 12, 8, 13, 30, 0, 0), QTimeZone("America/St_Johns"),
              "2026-12-08T10:00:00.000-03:30"}})
        EXPECT_EQ(IsoTime(t.ms, t.zone), QByteArray(t.text));
}

TEST(MqttMessages, Topics) {
    EXPECT_EQ(UnitTopic(QStringLiteral("velmora/lab"), 2, QStringLiteral("state")),
              QStringLiteral("velmora/lab/2/state"));
    EXPECT_EQ(AvailabilityTopic(QStringLiteral("velmora/lab")),
              QStringLiteral("velmora/lab/availability"));
    struct Case {
        const char* topic;
        int unit;
    };
    for (const Case& c : std::initializer_list<Case>{{"velmora/lab/1/set", 1},
                                                     {"velmora/lab/12/set", 12},
                                                     {"velmora/lab/0/set", 0},
                                                     {"velmora/lab/01/set", 0},
                                                     {"velmora/lab/x/set", 0},
                                                     {"velmora/lab//set", 0},
                                                     {"velmora/lab/1/state", 0},
                                                     {"velmora/lab/1/2/set", 0},
                                                     {"velmora/other/1/set", 0},
                                                     {"velmora/lab/99999/set", 0}})
        EXPECT_EQ(CommandTopicUnit(QStringLiteral("velmora/lab"), QString::fromLatin1(c.topic)),
                  c.unit)
            << c.topic;
}

TEST(MqttMessages, StateAndEvent) {
    const UnitState sample = test::SampleUnitState();
    struct Case {
        const char* name;
        std::function<void(UnitState&)> change;
        const char* json;
    };
    const std::initializer_list<Case> cases{
        {"5 V and 0.5 A in CV, measured", [](UnitState&) {},
         R"({"voltage":5.0,"current":0.5,"power":2.5,"set_voltage":5.0,"set_current":0.5,)"
         R"("output":true,"mode":"CV","tripped":false,"charge_Ah":0.0123,"energy_Wh":0.0615,)"
         R"("link":"receiving","recording":false,"run":"idle","time":"2026-12-08T14:30:00.120+01:00"})"},
        {"nothing measured yet, no time of its own",
         [](UnitState& s) {
             s = UnitState();
             s.link = QStringLiteral("waiting");
             s.run = QStringLiteral("idle");
         },
         R"({"voltage":null,"current":null,"power":null,"set_voltage":0.0,"set_current":0.0,)"
         R"("output":false,"mode":"","tripped":false,"charge_Ah":0.0,"energy_Wh":0.0,)"
         R"("link":"waiting","recording":false,"run":"idle","time":"2027-01-01T09:00:00.000+01:00"})"},
        {"tripped, CC, recording, a run",
         [](UnitState& s) {
             s.voltage = 12.3;
             s.current = 1.23;
             s.power = 12.3 * 1.23;
             s.setVoltage = 12.3;
             s.setCurrent = 1.235;
             s.mode = QStringLiteral("CC");
             s.tripped = true;
             s.output = false;
             s.recording = true;
             s.run = QStringLiteral("running");
             s.chargeAh = 1.0 / 3;
             s.energyWh = 1234.5;
         },
         R"({"voltage":12.3,"current":1.23,"power":15.129,"set_voltage":12.3,"set_current":1.235,)"
         R"("output":false,"mode":"CC","tripped":true,"charge_Ah":0.333333,"energy_Wh":1234.5,)"
         R"("link":"receiving","recording":true,"run":"running","time":"2026-12-08T14:30:00.120+01:00"})"},
    };
    const qint64 now = Utc(2027, 1, 1, 8, 0, 0, 0);
    for (const Case& c : cases) {
        UnitState state = sample;
        c.change(state);
        EXPECT_EQ(StateJson(state, now, kBerlin), QByteArray(c.json)) << c.name;
        EXPECT_TRUE(QByteArray(c.json).startsWith(StateFields(state))) << c.name;
    }
    EXPECT_EQ(EventJson(QStringLiteral("trip"),
                        QStringLiteral("Output zeroed: current 1.23 A above 1.00 A"),
                        Utc(2026, 12, 8, 13, 30, 0, 120), kBerlin),
              QByteArray(R"({"kind":"trip","text":"Output zeroed: current 1.23 A above 1.00 A",)"
                         R"("time":"2026-12-08T14:30:00.120+01:00"})"));
}

TEST(MqttDiscovery, ConfigurationsOfOneUnit) {
    const DiscoveryUnit unit{QStringLiteral("velmora/lab-pc"),
                             2,
                             QStringLiteral("Bench \"A\""),
                             QStringLiteral("2,5A/25V"),
                             QStringLiteral("0.1"),
                             SetpointLimits{25, 2.5, 0.1, 0.01}};
    const QByteArray tail =
        R"(,"state_topic":"velmora/lab-pc/2/state","availability_topic":"velmora/lab-pc/availability",)"
        R"("device":{"identifiers":["velmora_lab-pc_2"],"name":"Bench \"A\"","model":"2,5A/25V","sw_version":"0.1"}})";
    const QList<RetainedMessage> all = DiscoveryMessages(unit, true, true);
    const QList<RetainedMessage> expected{
        {"homeassistant/sensor/velmora_lab-pc_2/voltage/config",
         R"({"unique_id":"velmora_lab-pc_2_voltage","name":"Voltage","value_template":"{{ value_json.voltage }}",)"
         R"("unit_of_measurement":"V","device_class":"voltage","state_class":"measurement")" +
             tail},
        {"homeassistant/sensor/velmora_lab-pc_2/current/config",
         R"({"unique_id":"velmora_lab-pc_2_current","name":"Current","value_template":"{{ value_json.current }}",)"
         R"("unit_of_measurement":"A","device_class":"current","state_class":"measurement")" +
             tail},
        {"homeassistant/sensor/velmora_lab-pc_2/power/config",
         R"({"unique_id":"velmora_lab-pc_2_power","name":"Power","value_template":"{{ value_json.power }}",)"
         R"("unit_of_measurement":"W","device_class":"power","state_class":"measurement")" +
             tail},
        {"homeassistant/sensor/velmora_lab-pc_2/charge/config",
         R"({"unique_id":"velmora_lab-pc_2_charge","name":"Charge","value_template":"{{ value_json.charge_Ah }}",)"
         R"("unit_of_measurement":"Ah","state_class":"total_increasing")" +
             tail},
        {"homeassistant/sensor/velmora_lab-pc_2/energy/config",
         R"({"unique_id":"velmora_lab-pc_2_energy","name":"Energy","value_template":"{{ value_json.energy_Wh }}",)"
         R"("unit_of_measurement":"Wh","device_class":"energy","state_class":"total_increasing")" +
             tail},
        {"homeassistant/binary_sensor/velmora_lab-pc_2/trip/config",
         R"({"unique_id":"velmora_lab-pc_2_trip","name":"Trip",)"
         R"("value_template":"{{ 'ON' if value_json.tripped else 'OFF' }}","payload_on":"ON",)"
         R"("payload_off":"OFF","device_class":"problem")" +
             tail},
        {"homeassistant/number/velmora_lab-pc_2/set_voltage/config",
         R"({"unique_id":"velmora_lab-pc_2_set_voltage","name":"Voltage set-point",)"
         R"("command_topic":"velmora/lab-pc/2/set","command_template":"{\"voltage\":{{ value }}}",)"
         R"("value_template":"{{ value_json.set_voltage }}","min":0.0,"max":25.0,"step":0.1,)"
         R"("mode":"box","unit_of_measurement":"V","device_class":"voltage")" +
             tail},
        {"homeassistant/number/velmora_lab-pc_2/set_current/config",
         R"({"unique_id":"velmora_lab-pc_2_set_current","name":"Current set-point",)"
         R"("command_topic":"velmora/lab-pc/2/set","command_template":"{\"current\":{{ value }}}",)"
         R"("value_template":"{{ value_json.set_current }}","min":0.0,"max":2.5,"step":0.01,)"
         R"("mode":"box","unit_of_measurement":"A","device_class":"current")" +
             tail},
        {"homeassistant/switch/velmora_lab-pc_2/output/config",
         R"({"unique_id":"velmora_lab-pc_2_output","name":"Output","command_topic":"velmora/lab-pc/2/set",)"
         R"("payload_on":"{\"output\":true}","payload_off":"{\"output\":false}",)"
         R"("value_template":"{{ 'ON' if value_json.output else 'OFF' }}","state_on":"ON","state_off":"OFF")" +
             tail},
    };
    ASSERT_EQ(all.size(), expected.size());
    for (qsizetype i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].topic, expected[i].topic);
        EXPECT_EQ(all[i].payload, expected[i].payload) << all[i].topic.toStdString();
    }
}

TEST(MqttDiscovery, RemovalsAreEmptyRetainedMessages) {
    const DiscoveryUnit unit{QStringLiteral("velmora/lab"), 1,
                             QStringLiteral("Unit 1"),      QStringLiteral("1A/20V"),
                             QStringLiteral("0.1"),         {20, 1, 0.1, 0.005}};
    struct Case {
        bool discovery, commands;
        int configured; // the first this many carry a configuration, the rest are removals
    };
    for (const Case& c :
         {Case{true, true, 9}, Case{true, false, 6}, Case{false, true, 0}, Case{false, false, 0}}) {
        const QList<RetainedMessage> messages = DiscoveryMessages(unit, c.discovery, c.commands);
        ASSERT_EQ(messages.size(), 9);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(messages[i].payload.isEmpty(), i >= c.configured)
                << c.discovery << c.commands << " " << messages[i].topic.toStdString();
    }
    EXPECT_EQ(DiscoveryNodeId(QStringLiteral("lab/bench 3/ä"), 4),
              QStringLiteral("lab_bench_3___4"));
}

TEST(MqttCommands, ReadingEveryShape) {
    struct Case {
        QByteArray payload;
        std::optional<UnitCommand> command;
        const char* problem;
    };
    const auto setpoints = [](std::optional<double> v, std::optional<double> i) {
        return UnitCommand{UnitCommand::Setpoints, v, i, false};
    };
    const QList<Case> cases{
        {R"({"voltage":5})", setpoints(5, {}), ""},
        {R"({"current":0.25})", setpoints({}, 0.25), ""},
        {R"({"voltage":5,"current":0.25})", setpoints(5, 0.25), ""},
        {R"( { "current" : 0.25 , "voltage" : 12.3 } )", setpoints(12.3, 0.25), ""},
        {R"({"voltage":0})", setpoints(0, {}), ""},
        {R"({"output":false})", UnitCommand{UnitCommand::Output, {}, {}, false}, ""},
        {R"({"output":true})", UnitCommand{UnitCommand::Output, {}, {}, true}, ""},
        {R"({"clear_trip":true})", UnitCommand{UnitCommand::ClearTrip, {}, {}, false}, ""},
        {R"({"reset_meters":true})", UnitCommand{UnitCommand::ResetMeters, {}, {}, false}, ""},
        {R"({"voltage":5)",
         {},
         "the message is not JSON: invalid termination by number at byte 12"},
        {"voltage=5", {}, "the message is not JSON: illegal value at byte 1"},
        {R"({"voltage":1e308})", {}, "voltage 1e+308 V is out of range"},
        {R"({"voltage":-1})", {}, "voltage -1 V is out of range"},
        {R"({"current":1001})", {}, "current 1001 A is out of range"},
        {R"({"voltage":"5"})", {}, "voltage must be a number, not text"},
        {R"({"voltage":null})", {}, "voltage must be a number"},
        {R"({"voltage":[5]})", {}, "voltage must be a number"},
        {R"({"output":"on"})", {}, "output must be true or false"},
        {R"({"output":1})", {}, "output must be true or false"},
        {R"({"clear_trip":false})", {}, "clear_trip takes only true"},
        {R"({"reset_meters":1})", {}, "reset_meters takes only true"},
        {R"({"volts":5})", {}, "unknown key \"volts\""},
        {R"({"voltage":5,"colour":"red"})", {}, "unknown key \"colour\""},
        {R"({"voltage":5,"output":true})",
         {},
         "one action a message: voltage and current together, or output, clear_trip or "
         "reset_meters alone"},
        {R"({"clear_trip":true,"reset_meters":true})",
         {},
         "one action a message: voltage and current together, or output, clear_trip or "
         "reset_meters alone"},
        {"{}", {}, "nothing to do: give voltage, current, output, clear_trip or reset_meters"},
        {"", {}, "the message is empty"},
        {"[5]", {}, "the message is not a JSON object"},
        {"5", {}, "the message is not JSON: illegal value at byte 1"},
        {R"({"voltage":5} trailing)",
         {},
         "the message is not JSON: garbage at the end of the document at byte 14"},
        {QByteArray(5000, ' ') + R"({"voltage":5})",
         {},
         "the message is too long: 5013 bytes, at most 4096"},
        {QByteArray(1 << 20, 'x'), {}, "the message is too long: 1048576 bytes, at most 4096"},
        {QByteArray(R"({"voltage":5})").replace(':', '\0'),
         {},
         "the message is not JSON: missing name separator at byte 11"},
    };
    for (const Case& c : cases) {
        const CommandReading reading = ReadCommand(c.payload);
        EXPECT_EQ(reading.command, c.command) << c.payload.left(80).toStdString();
        EXPECT_EQ(reading.problem, QString::fromUtf8(c.problem))
            << c.payload.left(80).toStdString();
    }
}

} // namespace
} // namespace velmora
