#pragma once
// The Prometheus page's text (exposition format 0.0.4), made from a
// snapshot of the bench, and the HTTP answers around it. Pure functions.

#include "feed/bench_feed.h"

#include <QByteArray>
#include <QList>
#include <functional>

namespace velmora {

/// One unit as the page shows it.
struct MetricsUnit {
    int number = 1;
    QString name, model;
    UnitState state;
};

/// The bench at the moment of a scrape.
struct MetricsSnapshot {
    double uptimeSeconds = 0;
    int remoteClients = 0;
    QList<MetricsUnit> units;
};

/// The feed's units as they are now.
MetricsSnapshot SnapshotOf(const BenchFeed& feed, double uptimeSeconds, int remoteClients);

/// A sample's value: the shortest text that reads back the same; NaN, +Inf, -Inf.
QByteArray PrometheusNumber(double value);
/// A label's value within its quotes: \\, \" and \n escaped.
QByteArray LabelValue(const QString& text);

/// The page: per unit the measured voltage, current and power (once
/// measured), the set-points, charge and energy as counters (coulombs and
/// joules), the trip, the link's state, the frames received and unreadable,
/// the commands sent; the program's uptime and remote clients.
QByteArray MetricsText(const MetricsSnapshot& snapshot);

/// The whole HTTP answer to a request head (request line and headers, up to
/// the empty line): the page for `GET /metrics`, 404 for any other
/// request, 400 for a head that is no HTTP request. `page` is called only
/// for the page.
QByteArray HttpAnswer(const QByteArray& head, const std::function<QByteArray()>& page);
/// The answer to a head longer than the server reads.
QByteArray HttpTooLarge();

} // namespace velmora
