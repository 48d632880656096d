#pragma once
// A session on a FakeLine and a fake clock: the test feeds characters, moves
// the time and reads the writes; nothing sleeps.

#include "session/session.h"
#include "support/fake_clock.h"
#include "support/fake_line.h"

#include <QList>
#include <QTemporaryDir>
#include <memory>

namespace velmora::test {

/// One message the session gave.
struct Said {
    QString title;
    QString text;
    friend bool operator==(const Said&, const Said&) = default;
};

/// A session with its own settings file (in a temporary folder), started on
/// COM2 over a FakeLine, the line's counts at 0. What it says is kept.
class SessionOnFakeLine {
  public:
    explicit SessionOnFakeLine(QDateTime start = QDateTime(QDate(2027, 1, 1), QTime(8, 0)));
    /// The same, its settings file holding `stored` ("Netzteil/NLI=2500", as
    /// Store takes them) when the session starts.
    explicit SessionOnFakeLine(const QStringList& stored,
                               QDateTime start = QDateTime(QDate(2027, 1, 1), QTime(8, 0)));

    /// The writes so far, as one byte string.
    QByteArray written() const { return line->written(); }
    /// A whole measurement frame for the values: "D 123  045  ".
    static QByteArray Frame(const char* voltageDigits, const char* currentDigits);
    /// Feeds a frame and lets its handling run.
    void feedFrame(const char* voltageDigits, const char* currentDigits);
    /// Sets the user's settings file before start: "NLI=2500" and so on,
    /// one "group/key=value" a text.
    static void Store(const QString& path, const QStringList& entries);
    QString storePath() const { return dir_.filePath(QStringLiteral("Tarnholm.conf")); }

    QTemporaryDir dir_;
    FakeClock clock;
    FakeLine* line;
    std::unique_ptr<Session> session;
    QList<Said> said;
};

} // namespace velmora::test
