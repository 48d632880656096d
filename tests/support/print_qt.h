#pragma once
// Readable failure output for texts and lists of them: gtest finds PrintTo
// next to QString, in the global namespace.

#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (qsizetype i = 0; i < texts.size(); ++i)
        *out << (i ? ", \"" : "\"") << texts[i].toStdString() << '"';
    *out << '}';
}

#include "unit/quantities.h"

#include <optional>

namespace velmora {

/// Millivolts and milliamperes as gtest shows them: their number.
template <typename Tag> void PrintTo(const Measure<Tag>& m, std::ostream* out) {
    *out << m.value;
}

namespace test {

/// The number an optional quantity holds, for comparing with a table's.
template <typename Tag> std::optional<int> ValueOf(const std::optional<Measure<Tag>>& m) {
    return m ? std::optional<int>(m->value) : std::nullopt;
}

} // namespace test
} // namespace velmora
