#pragma once
// Lines of a control file, as the recorder writes them.

#include <QByteArray>
#include <QDateTime>

namespace velmora::test {

/// The time stamp of a control-file line: "#yyyy-mm-dd hh:mm:ss#".
inline QByteArray Stamp(const QDateTime& at) {
    return at.toString(u"#yyyy-MM-dd hh:mm:ss#").toLatin1();
}

/// One control-file line with its line end: `#stamp#,"voltage","current"` CR LF.
inline QByteArray ControlLine(const QDateTime& at, const char* voltage, const char* current) {
    return Stamp(at) + ",\"" + voltage + "\",\"" + current + "\"\r\n";
}

} // namespace velmora::test
