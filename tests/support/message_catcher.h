#pragma once
// Closes the program's modal message boxes as a user would and remembers
// what they said.

#include "core/message.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace velmora::test {

/// While alive, every message of the program shows in a real message box,
/// on which it presses OK; it remembers the messages in order.
class MessageCatcher : public QObject {
  public:
    struct Message {
        QString title;
        QString text;
    };

    MessageCatcher();
    ~MessageCatcher() override;
    const QList<Message>& messages() const { return messages_; }
    void clear() { messages_.clear(); }

  private:
    void show(const QString& text, const QString& title);
    void poll();

    QTimer timer_;
    QList<Message> messages_;
    MessageShower previous_;
};

} // namespace velmora::test
