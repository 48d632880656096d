#include "metrics/metrics_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace velmora {

namespace {

// The link's states, each a series of its own (1 for the one in force).
const std::array<const char*, 4> kLinkStates = {"receiving", "silent", "waiting", "closed"};
constexpr double kSecondsPerHour = 3600;

QByteArray UnitLabel(const MetricsUnit& unit) {
    return "unit=\"" + QByteArray::number(unit.number) + '"';
}

// One family: its HELP and TYPE lines, then a sample per unit that has one.
class Family {
  public:
    Family(QByteArray& out, const char* name, const char* type, const char* help)
        : out_(out), name_(name), type_(type), help_(help) {}
    void sample(const QByteArray& labels, double value) {
        if (!headed_) {
            out_ += "# HELP " + name_ + ' ' + help_ + "\n# TYPE " + name_ + ' ' + type_ + '\n';
            headed_ = true;
        }
        out_ += name_;
        if (!labels.isEmpty()) out_ += '{' + labels + '}';
        out_ += ' ' + PrometheusNumber(value) + '\n';
    }

  private:
    QByteArray& out_;
    QByteArray name_, type_, help_;
    bool headed_ = false;
};

void PerUnit(QByteArray& out, const MetricsSnapshot& s, const char* name, const char* type,
             const char* help,
             const std::function<std::optional<double>(const UnitState&)>& value) {
    Family family(out, name, type, help);
    for (const MetricsUnit& unit : s.units)
        if (const auto v = value(unit.state)) family.sample(UnitLabel(unit), *v);
}

} // namespace

MetricsSnapshot SnapshotOf(const BenchFeed& feed, double uptimeSeconds, int remoteClients) {
    MetricsSnapshot s{uptimeSeconds, remoteClients, {}};
    for (int unit = 1; unit <= feed.unitCount(); ++unit)
        s.units.append({unit, feed.unitName(unit), feed.unitModel(unit), feed.state(unit)});
    return s;
}

QByteArray PrometheusNumber(double value) {
    if (std::isnan(value)) return QByteArrayLiteral("NaN");
    if (std::isinf(value)) return value > 0 ? QByteArrayLiteral("+Inf") : QByteArrayLiteral("-Inf");
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return QByteArray(text.data(), end - text.data());
}

QByteArray LabelValue(const QString& text) {
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += QByteArray("\\") + c;
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray MetricsText(const MetricsSnapshot& s) {
    QByteArray out;
    out.reserve(1024 + 1536 * s.units.size());
    {
        Family info(out, "velmora_unit_info", "gauge", "The unit's name and model.");
        for (const MetricsUnit& u : s.units)
            info.sample(UnitLabel(u) + ",name=\"" + LabelValue(u.name) + "\",model=\"" +
                            LabelValue(u.model) + '"',
                        1);
    }
    using Value = std::optional<double>;
    PerUnit(out, s, "velmora_voltage_volts", "gauge", "The measured voltage.",
            [](const UnitState& u) { return u.measured ? Value(u.voltage) : std::nullopt; });
    PerUnit(out, s, "velmora_current_amperes", "gauge", "The measured current.",
            [](const UnitState& u) { return u.measured ? Value(u.current) : std::nullopt; });
    PerUnit(out, s, "velmora_power_watts", "gauge", "The measured voltage times current.",
            [](const UnitState& u) { return u.measured ? Value(u.power) : std::nullopt; });
    PerUnit(out, s, "velmora_voltage_setpoint_volts", "gauge", "The voltage set-point in force.",
            [](const UnitState& u) { return Value(u.setVoltage); });
    PerUnit(out, s, "velmora_current_setpoint_amperes", "gauge", "The current set-point in force.",
            [](const UnitState& u) { return Value(u.setCurrent); });
    PerUnit(out, s, "velmora_charge_coulombs_total", "counter",
            "The charge delivered since the meters were reset (3600 C = 1 Ah).",
            [](const UnitState& u) { return Value(u.chargeAh * kSecondsPerHour); });
    PerUnit(out, s, "velmora_energy_joules_total", "counter",
            "The energy delivered since the meters were reset (3600 J = 1 Wh).",
            [](const UnitState& u) { return Value(u.energyWh * kSecondsPerHour); });
    PerUnit(out, s, "velmora_tripped", "gauge",
            "1 while a protection trip holds the output at zero.",
            [](const UnitState& u) { return Value(u.tripped ? 1 : 0); });
    {
        Family link(out, "velmora_link_state", "gauge", "1 for the state the unit's link is in.");
        for (const MetricsUnit& u : s.units) {
            bool known = false;
            for (const char* state : kLinkStates) {
                known = known || u.state.link == QLatin1String(state);
                link.sample(UnitLabel(u) + ",state=\"" + state + '"',
                            u.state.link == QLatin1String(state) ? 1 : 0);
            }
            if (!known && !u.state.link.isEmpty())
                link.sample(UnitLabel(u) + ",state=\"" + LabelValue(u.state.link) + '"', 1);
        }
    }
    PerUnit(out, s, "velmora_frames_received_total", "counter", "Frames received from the unit.",
            [](const UnitState& u) { return Value(double(u.framesReceived)); });
    PerUnit(out, s, "velmora_frames_unreadable_total", "counter",
            "Frames received whose values could not be read.",
            [](const UnitState& u) { return Value(double(u.framesUnreadable)); });
    PerUnit(out, s, "velmora_commands_sent_total", "counter",
            "Set-point commands sent to the unit.",
            [](const UnitState& u) { return Value(double(u.commandsSent)); });
    Family(out, "velmora_uptime_seconds", "gauge", "Seconds since the program started.")
        .sample({}, s.uptimeSeconds);
    Family(out, "velmora_remote_clients", "gauge", "Remote control clients connected.")
        .sample({}, s.remoteClients);
    return out;
}

namespace {

QByteArray Answer(const char* status, const char* type, const QByteArray& body) {
    return QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

QByteArray HttpAnswer(const QByteArray& head, const std::function<QByteArray()>& page) {
    const qsizetype end = head.indexOf('\n');
    const QList<QByteArray> words = head.left(end < 0 ? head.size() : end).trimmed().split(' ');
    if (words.size() != 3 || !words[2].startsWith("HTTP/1.") || words[0].isEmpty() ||
        !words[1].startsWith('/'))
        return Answer("400 Bad Request", "text/plain; charset=utf-8", "Bad request\n");
    const QByteArray path =
        words[1].left(words[1].indexOf('?') < 0 ? words[1].size() : words[1].indexOf('?'));
    if (words[0] != "GET" || path != "/metrics")
        return Answer("404 Not Found", "text/plain; charset=utf-8", "Not found: GET /metrics\n");
    return Answer("200 OK", "text/plain; version=0.0.4; charset=utf-8", page());
}

QByteArray HttpTooLarge() {
    return Answer("431 Request Header Fields Too Large", "text/plain; charset=utf-8",
                  "Request too large\n");
}

} // namespace velmora
