// MQTT on loopback: what publishing costs the program's thread with the
// units' frames coming at the full rate (80 a second), for one and four
// units, and how soon a change reaches a subscriber (mosquitto_sub).

#include "bench_support.h"
#include "mqtt/mqtt_bridge.h"
#include "mqtt/mqtt_client.h"
#include "support/fake_bench_feed.h"
#include "support/mosquitto_broker.h"

#include <QProcess>
#include <cstdio>
#include <map>

using namespace velmora;

namespace {

constexpr int kFramesPerSecond = 80;

// Frames at 80 a second for every unit, each with other values, as a noisy
// unit sends them; `ms` of the event loop; the thread's share of a core.
double LoadWithFrames(test::FakeBenchFeed& feed, int ms) {
    int frame = 0;
    QTimer frames;
    frames.setTimerType(Qt::PreciseTimer);
    QObject::connect(&frames, &QTimer::timeout, [&] {
        ++frame;
        for (int unit = 1; unit <= feed.unitCount(); ++unit)
            feed.change(unit, [&](UnitState& s) {
                s.voltage = 5.0 + (frame % 3) * 0.1;
                s.current = 0.5 + (frame % 5) * 0.01;
                s.power = s.voltage * s.current;
                s.chargeAh += s.current / kFramesPerSecond / 3600;
                s.energyWh += s.power / kFramesPerSecond / 3600;
                ++s.framesReceived;
            });
        // 12 and 13 ms in turn: 80 a second.
        frames.setInterval(frame % 2 ? 13 : 12);
    });
    frames.start(12);
    const double before = test::CpuSeconds(RUSAGE_THREAD);
    const qint64 start = bench::NowNs();
    bench::RunFor(ms);
    return 100.0 * (test::CpuSeconds(RUSAGE_THREAD) - before) /
           (double(bench::NowNs() - start) / 1e9);
}

MqttSettings On(const test::MosquittoBroker& broker, int rate) {
    MqttSettings s;
    s.enabled = true;
    s.port = broker.port();
    s.topic = QStringLiteral("bench");
    s.rate = rate;
    return s;
}

// The program's thread with the frames alone, then publishing at Rate 5 and 80.
bool CostOfPublishing(const test::MosquittoBroker& broker, int units) {
    RealClock clock;
    test::FakeBenchFeed feed(units);
    MqttBridge bridge(feed, clock, std::make_unique<MqttClient>(clock), QStringLiteral("bench"),
                      QStringLiteral("0.1"));
    const double framesOnly = LoadWithFrames(feed, 5000);
    double load[2] = {};
    quint64 sent[2] = {};
    for (int i : {0, 1}) {
        bridge.apply(On(broker, i == 0 ? MqttSettings::kDefaultRate : MqttSettings::kMaxRate));
        if (!bench::RunUntil([&] { return bridge.status().state == MqttLinkStatus::Connected; },
                             10'000))
            return false;
        const quint64 before = bridge.status().sent;
        load[i] = LoadWithFrames(feed, 10'000);
        sent[i] = bridge.status().sent - before;
    }
    bridge.stop();
    // The frames' own cost is taken off: what is left is the bridge's.
    std::printf("mqtt publishing at 80 frames/s, %d %s: %.2f / %.2f %% of a core (%.0f / %.0f "
                "messages/s)\n",
                units, units == 1 ? "unit" : "units", load[0] - framesOnly, load[1] - framesOnly,
                double(sent[0]) / 10, double(sent[1]) / 10);
    return true;
}

// mosquitto_sub's lines, stamped as they arrive (the event loop is idle
// meanwhile, so it reads them at once).
class Subscriber {
  public:
    Subscriber(const test::MosquittoBroker& broker, const QString& topic) {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            const qint64 at = bench::NowNs();
            buffer_ += process_.readAllStandardOutput();
            for (qsizetype end = buffer_.indexOf('\n'); end >= 0; end = buffer_.indexOf('\n')) {
                lines_.push_back({at, buffer_.left(end)});
                buffer_.remove(0, end + 1);
            }
        });
        process_.start(QStringLiteral("mosquitto_sub"),
                       broker.clientArguments() << QStringLiteral("-t") << topic
                                                << QStringLiteral("-F") << QStringLiteral("%p"));
    }
    ~Subscriber() {
        process_.kill();
        process_.waitForFinished();
    }
    const std::vector<std::pair<qint64, QByteArray>>& lines() const { return lines_; }

  private:
    QProcess process_;
    QByteArray buffer_;
    std::vector<std::pair<qint64, QByteArray>> lines_;
};

bool DelayToASubscriber(test::MosquittoBroker& broker) {
    RealClock clock;
    test::FakeBenchFeed feed(1);
    MqttBridge bridge(feed, clock, std::make_unique<MqttClient>(clock), QStringLiteral("bench"),
                      QStringLiteral("0.1"));
    bridge.apply(On(broker, MqttSettings::kDefaultRate));
    if (!bench::RunUntil([&] { return bridge.status().state == MqttLinkStatus::Connected; },
                         10'000))
        return false;
    auto subscriber = std::make_unique<Subscriber>(broker, QStringLiteral("bench/1/state"));
    if (!bench::RunUntil([&] { return !subscriber->lines().empty(); }, 10'000)) return false;
    // The state went out on connecting: the first change must not wait for the rate.
    bench::RunFor(500);
    std::map<QByteArray, qint64> changed; // a change's voltage text -> when it was made
    for (int i = 1; i <= 50; ++i) {
        const double volts = 10.0 + i / 10.0;
        changed["{\"voltage\":" + QByteArray::number(volts, 'f', 1) + ','] = bench::NowNs();
        feed.change(1, [volts](UnitState& s) { s.voltage = volts; });
        bench::RunFor(250); // more than 1/Rate: each change goes at once
    }
    bench::RunFor(500);
    bench::Figures ms;
    for (const auto& [at, line] : subscriber->lines())
        for (const auto& [start, when] : changed)
            if (line.startsWith(start)) ms.add(double(at - when) / 1e6);
    bridge.stop();
    if (ms.count < 45) return false;
    std::printf("mqtt change to message at mosquitto_sub, mean/max: %.2f / %.2f ms (%d changes)\n",
                ms.mean(), ms.max, ms.count);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    test::MosquittoBroker broker;
    if (!test::MosquittoBroker::Unavailable().isEmpty() || !broker.start()) {
        std::fprintf(stderr, "bench_mqtt: no broker: %s\n", qPrintable(broker.log()));
        return 1;
    }
    for (int units : {1, 4})
        if (!CostOfPublishing(broker, units)) return 1;
    return DelayToASubscriber(broker) ? 0 : 1;
}
