#pragma once
// The bytes the bridge publishes: topics, a unit's `state` JSON and its
// `event` JSON. Pure functions, so every byte is checked in tables.

#include "feed/bench_feed.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

namespace velmora {

/// "<base>/<unit>/<leaf>": "velmora/lab/1/state".
QString UnitTopic(const QString& base, int unit, const QString& leaf);
/// "<base>/availability".
QString AvailabilityTopic(const QString& base);
/// The unit a command topic "<base>/<n>/set" names; 0 for any other topic.
int CommandTopicUnit(const QString& base, const QString& topic);

/// A JSON string with its quotes: `"a\"b"`; control characters as \u00XX.
QByteArray JsonString(const QString& text);
/// A number to `decimals` places, trailing zeros dropped but one kept:
/// 5 -> 5.0, 0.50 -> 0.5, 15.129; null when not finite.
QByteArray JsonNumber(double value, int decimals);
QByteArray JsonBool(bool value);

/// "2026-12-08T14:30:00.120+01:00": the moment in `zone`, with its offset.
QByteArray IsoTime(qint64 epochMs, const QTimeZone& zone);

/// The state's fields without the time, in the published order: two
/// states with the same fields need not be published twice.
QByteArray StateFields(const UnitState& state);
/// The `state` message: the fields and "time" (the state's own moment, or
/// `nowMs` when it has none).
QByteArray StateJson(const UnitState& state, qint64 nowMs, const QTimeZone& zone);
/// The `event` message: {"kind":"trip","text":"...","time":"..."}.
QByteArray EventJson(const QString& kind, const QString& text, qint64 epochMs,
                     const QTimeZone& zone);

} // namespace velmora
