#pragma once
// What a VXI-11 link talks to: one conversation in the command language,
// with the same per-client state as a socket client. Remote control makes
// one for each link.

#include "scpi/scpi_line.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace velmora::vxi11 {

/// One client's run of lines: answers come back in order, ending in LF.
class Conversation : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    /// One whole line, its LF (or CR LF) stripped; a line over the reader's
    /// bound comes as tooLong, for the same -223 a socket client gets.
    virtual void takeLine(const scpi::LineReader::Line& line) = 0;
    /// Waiting for its commands to go out: the next line waits.
    virtual bool busy() const = 0;
    /// The status byte as *STB? answers it; the link adds MAV for its own
    /// queued answers.
    virtual quint8 statusByte() = 0;

  signals:
    void answer(const QByteArray& line);
    void ready();
};

/// Makes the conversation of a new link for a client at `peer`, or nothing
/// with `refusal` set (not in the allowed networks, too many clients).
using ConversationFactory =
    std::function<std::unique_ptr<Conversation>(const QHostAddress& peer, QString* refusal)>;

} // namespace velmora::vxi11
