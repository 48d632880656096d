#pragma once
// Home Assistant's MQTT discovery: one retained configuration message per
// entity under homeassistant/<component>/<node>/<object>/config, one device
// per unit; an empty retained message removes an entity.

#include "feed/bench_feed.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace velmora {

/// What Home Assistant is told about one unit.
struct DiscoveryUnit {
    QString baseTopic; // "velmora/lab"
    int unit = 1;
    QString name;    // the device's name
    QString model;   // "1A/20V"
    QString version; // the program's
    SetpointLimits limits;
    friend bool operator==(const DiscoveryUnit&, const DiscoveryUnit&) = default;
};

/// One retained message: its topic and payload (empty: removal).
struct RetainedMessage {
    QString topic;
    QByteArray payload;
    friend bool operator==(const RetainedMessage&, const RetainedMessage&) = default;
};

/// The unit's node id: the base topic and the unit, as letters, digits,
/// '-' and '_': "velmora_lab_1".
QString DiscoveryNodeId(const QString& baseTopic, int unit);

/// Every entity's message for the unit, in a fixed order: the sensors
/// (voltage, current, power, charge, energy), the trip, and the two
/// set-points and the output switch, which carry a configuration only with
/// `commands` and are removed otherwise. With `discovery` false, all are
/// removals.
QList<RetainedMessage> DiscoveryMessages(const DiscoveryUnit& unit, bool discovery, bool commands);

} // namespace velmora
