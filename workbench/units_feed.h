#pragma once
// The bench's units as the network services (the MQTT bridge, the
// Prometheus page) see them: plain values, the door for their commands, and
// a signal on every change and event.

#include "feed/bench_feed.h"
#include "session/units.h"

#include <vector>

namespace velmora {

/// A BenchFeed over the program's units. Commands from outside go through
/// each unit's door as SetpointSource::Broker, coupled units included.
class UnitsFeed final : public BenchFeed {
    Q_OBJECT
  public:
    explicit UnitsFeed(Units& units, QObject* parent = nullptr);
    ~UnitsFeed() override;

    int unitCount() const override { return units_.count(); }
    QString unitName(int unit) const override { return units_.name(unit); }
    QString unitModel(int unit) const override;
    UnitState state(int unit) const override;
    SetpointLimits setpointLimits(int unit) const override;
    QString command(int unit, const UnitCommand& command) override;

  private:
    /// What is counted of one unit since the program started.
    struct Counts {
        const Session* session = nullptr;
        quint64 frames = 0, unreadable = 0, commands = 0;
        std::optional<Values> values = {}; // the newest readable frame's: a garbled one hides nothing
    };
    void follow();
    void watch(Session& session);
    int numberOf(const Session& session) const;
    const Counts* countsOf(const Session& session) const;

    Units& units_;
    std::vector<Counts> counts_;
};

} // namespace velmora
