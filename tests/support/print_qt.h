#pragma once
// Readable failure output for texts and lists of them: gtest finds PrintTo
// next to QString, in the global namespace.

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
