#pragma once
// Reading and writing a whole file, for tests that set up or check one.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace velmora::test {

/// The file's bytes; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Creates or empties the file and writes the bytes; false when it could not.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace velmora::test
