#include "support/session_on_fake_line.h"

#include <QSettings>

namespace velmora::test {

SessionOnFakeLine::SessionOnFakeLine(QDateTime start) : SessionOnFakeLine({}, std::move(start)) {}

SessionOnFakeLine::SessionOnFakeLine(const QStringList& stored, QDateTime start)
    : clock(std::move(start)) {
    Store(storePath(), stored);
    auto fake = std::make_unique<FakeLine>(&clock);
    line = fake.get();
    session = std::make_unique<Session>(clock, std::move(fake), SettingsStore(storePath()));
    QObject::connect(session.get(), &Session::message,
                     [this](const QString& text, const QString& title) {
                         said.append({title, text});
                     });
    session->start();
    line->clearCounts();
}

QByteArray SessionOnFakeLine::Frame(const char* voltageDigits, const char* currentDigits) {
    QByteArray frame = "D " + QByteArray(voltageDigits) + "  " + QByteArray(currentDigits) + "  ";
    return frame;
}

void SessionOnFakeLine::feedFrame(const char* voltageDigits, const char* currentDigits) {
    line->feed(Frame(voltageDigits, currentDigits));
    clock.settle();
}

void SessionOnFakeLine::Store(const QString& path, const QStringList& entries) {
    QSettings store(path, QSettings::IniFormat);
    for (const QString& entry : entries)
        store.setValue(entry.section(u'=', 0, 0), entry.section(u'=', 1));
}

} // namespace velmora::test
