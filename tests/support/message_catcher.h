#pragma once
// Closes the program's modal message boxes as a user would and remembers
// what they said.

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace velmora::test {

/// While alive, presses OK on every message box the program shows.
class MessageCatcher : public QObject {
  public:
    struct Message {
        QString title;
        QString text;
    };

    MessageCatcher();
    const QList<Message>& messages() const { return messages_; }
    void clear() { messages_.clear(); }

  private:
    void poll();

    QTimer timer_;
    QList<Message> messages_;
};

} // namespace velmora::test
