#pragma once
// Drives the real velmora against the real velmora-sim as a user would: the
// pointer through XTest (xdotool), closing a window the way a window manager
// asks (WM_DELETE_WINDOW), and reads the record file and the unit's output.

#include "support/files.h"
#include "support/sim_process.h"
#include "support/wait_until.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

namespace velmora::e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline void Pause(milliseconds d) {
    std::this_thread::sleep_for(d);
}

inline long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

using test::WaitUntil;

/// Runs xdotool with `args` and returns what it printed; nothing when it failed.
inline std::optional<QByteArray> Xdo(const QStringList& args) {
    QProcess xdo;
    xdo.start(QStringLiteral("xdotool"), args);
    if (!xdo.waitForFinished(5000) || xdo.exitStatus() != QProcess::NormalExit ||
        xdo.exitCode() != 0)
        return std::nullopt;
    return xdo.readAllStandardOutput();
}

/// The first visible window of process `pid` titled exactly `title`, polled
/// for until `timeout`. The process matters: a panel left over from another
/// run may show a window of the same title at the same place.
inline QString FindWindow(qint64 pid, const QString& title, milliseconds timeout = 10s) {
    QString id;
    WaitUntil(
        [&] {
            const auto out = Xdo({"search", "--all", "--onlyvisible", "--pid", QString::number(pid),
                                  "--name", "^" + QRegularExpression::escape(title) + "$"});
            if (out) id = QString::fromLatin1(out->split('\n').value(0)).trimmed();
            return !id.isEmpty();
        },
        timeout);
    return id;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

inline Geometry WindowGeometry(const QString& window) {
    Geometry g;
    const auto out = Xdo({"getwindowgeometry", "--shell", window});
    if (!out) return g;
    for (const QByteArray& line : out->split('\n')) {
        const int value = line.mid(line.indexOf('=') + 1).toInt();
        if (line.startsWith("X=")) g.x = value;
        if (line.startsWith("Y=")) g.y = value;
        if (line.startsWith("WIDTH=")) g.width = value;
        if (line.startsWith("HEIGHT=")) g.height = value;
    }
    return g;
}

/// Left button down at window pixel (x, y); stays down until Release().
inline bool Press(const QString& window, int x, int y) {
    return Xdo({"mousemove", "--window", window, QString::number(x), QString::number(y),
                "mousedown", "1"})
        .has_value();
}

inline bool Release() {
    return Xdo({"mouseup", "1"}).has_value();
}

/// A press held for `hold`, then the release; like a finger on the button.
inline bool Hold(const QString& window, int x, int y, milliseconds hold) {
    if (!Press(window, x, y)) return false;
    Pause(hold);
    return Release();
}

inline bool Click(const QString& window, int x, int y) {
    return Hold(window, x, y, 60ms);
}

/// What a window manager sends when the user closes a window: the program
/// runs its own closing steps (xdotool's windowclose destroys the window
/// instead, and windowkill cuts the connection).
inline bool SendDeleteWindow(const QString& window) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const auto atom = [c](const char* name) {
        const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
        const xcb_atom_t a = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    };
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window.toUInt();
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so the server has taken the message before we hang up: a
    // connection closed right after a plain flush may lose it.
    const xcb_void_cookie_t cookie = xcb_send_event_checked(
        c, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    const bool sent = error == nullptr && event.type != XCB_ATOM_NONE;
    std::free(error);
    xcb_disconnect(c);
    return sent;
}

using test::ReadFile;
using test::WriteFile;

/// One line of a record file as the recorder writes it.
struct RecordLine {
    QByteArray stamp, voltage, current;
};

/// Splits a record file into its lines; nothing when any line breaks the
/// layout `#yyyy-mm-dd hh:mm:ss#,"dd.dV","d.ddA"` CR LF (a stamp at
/// midnight carries the date alone). `unitDigits` is the pattern for the
/// characters the unit sent; a unit that spoils a digit needs a wider one.
inline std::optional<std::vector<RecordLine>> ParseRecordFile(const QByteArray& file,
                                                              const char* unitDigits = "\\d") {
    const QString d = QString::fromLatin1(unitDigits);
    const QRegularExpression layout(
        QStringLiteral("^#(\\d{4}-\\d\\d-\\d\\d(?: "
                       "\\d\\d:\\d\\d:\\d\\d)?)#,\"(%1%1\\.%1V)\",\"(%1\\.%1%1A)\"$")
            .arg(d));
    std::vector<RecordLine> lines;
    if (file.isEmpty()) return lines;
    if (!file.endsWith("\r\n")) return std::nullopt;
    const QList<QByteArray> raw = file.chopped(2).split('\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QByteArray line = raw[i];
        // Every line but the last (whose CR LF was cut above) ends in CR.
        if (i + 1 < raw.size()) {
            if (!line.endsWith('\r')) return std::nullopt;
            line.chop(1);
        }
        const auto m = layout.match(QString::fromLatin1(line));
        if (!m.hasMatch()) return std::nullopt;
        lines.push_back(
            {m.captured(1).toLatin1(), m.captured(2).toLatin1(), m.captured(3).toLatin1()});
    }
    return lines;
}

/// The velmora-sim's report of one command: "command 030 100 -> ...".
inline QByteArray CommandFields(const std::string& line) {
    const QByteArray l = QByteArray::fromStdString(line);
    return l.mid(8, 7); // "030 100"
}

} // namespace velmora::e2e
