#pragma once
// Closes the program's message boxes as a user would and remembers what they said.

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

class QMessageBox;

namespace velmora::test {

/// While alive, looks for message boxes every few milliseconds, remembers
/// each one's title and text in the order they came, and presses OK on it.
class MessageCatcher : public QObject {
  public:
    struct Message {
        QString title;
        QString text;
    };

    MessageCatcher();
    const QList<Message>& messages() const;
    void clear() { messages_.clear(); }

  private:
    void poll() const;

    QTimer timer_;
    mutable QList<Message> messages_;
};

} // namespace velmora::test
