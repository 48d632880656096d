#pragma once
// The queue of commands going out on the line, one character per write,
// 10 ms apart; part of the serial component.

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>

namespace velmora {

class SerialComm;

/// Puts commands on the line one at a time. A timer hands the head of the
/// queue to the line, so a command's characters go out together and in order
/// even while another handler waits inside one of its pauses.
class Transmitter {
  public:
    explicit Transmitter(SerialComm& comm);
    ~Transmitter();
    Transmitter(const Transmitter&) = delete;
    Transmitter& operator=(const Transmitter&) = delete;

    /// Queues the command and handles events until it is out (or lost), then
    /// returns after the pause that follows its eighth character.
    void send(const QByteArray& command);
    /// Drops the commands not yet begun; the one on the line goes on.
    void dropWaiting();
    /// The line went away: every command queued is lost, the one going out
    /// included, and is not finished on a device that comes back.
    void lineLost();
    /// At the end of the program: drops the waiting commands and writes the
    /// rest of the one on the line, pauses included, without handling events.
    void finishOnLine();

  private:
    struct Pending;

    void drive();
    void schedule(qint64 inNs);
    void finishHead(bool lost = false);
    void writeNext(Pending& command);

    SerialComm& comm_;
    std::deque<std::shared_ptr<Pending>> queue_;
    qint64 nextCharacterAt_ = 0; // monotonic ns: the pause after the last write ends here
    QTimer timer_;
};

} // namespace velmora
