#pragma once
// The queue of commands going out on the line, one character per write,
// 10 ms apart; part of the serial link.

#include "core/clock.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

namespace velmora {

/// What the transmitter needs of the line it puts commands on.
class TransmitPort {
  public:
    virtual ~TransmitPort() = default;
    virtual bool lineOpen() const = 0;
    /// Whether the unit asserts CTS; a line without modem lines is ready.
    virtual bool clearToSend() = 0;
    /// Hands the bytes to the line at once; a failed write loses them.
    virtual void write(const QByteArray& bytes) = 0;
    /// Tells one port and device from another: a command begun on one is
    /// never finished on the next.
    virtual QString lineIdentity() const = 0;
    /// A command's first character is on the line.
    virtual void started(const QByteArray& command) = 0;
    /// A command has come to its end (sent, lost or dropped), before the next
    /// one is looked at.
    virtual void finished() = 0;
};

/// How a command asked for came to its end.
enum class CommandEnd {
    Sent,    // whole, the pause after its eighth character taken
    Lost,    // the line was closed or went away: it could not go out whole
    Dropped, // taken out of the queue before its first character
};

/// Puts commands on the line one at a time, driven by its own timer: a
/// command's characters go out together and in order, and one asked for
/// while another is going out follows it whole.
class Transmitter {
  public:
    using Done = std::function<void(CommandEnd)>;

    Transmitter(TransmitPort& port, Clock& clock);
    ~Transmitter();
    Transmitter(const Transmitter&) = delete;
    Transmitter& operator=(const Transmitter&) = delete;

    /// Queues the command and returns at once. Once CTS is asserted, positions
    /// 1 to 8 go out, a pause after each; `done` is called after the eighth
    /// pause. A shorter text writes what it has and takes all eight pauses;
    /// characters 9 on are dropped. On a closed port the command is lost, and
    /// `done` still comes only after its eight pauses, so a caller keeps its pace.
    void send(const QByteArray& command, Done done = {});
    /// Drops the commands not yet begun; the one on the line goes on.
    void dropWaiting();
    /// The line went away: every command queued is lost, the one going out
    /// included, and is not finished on a device that comes back.
    void lineLost();
    /// Whether nothing is queued or going out.
    bool idle() const { return queue_.empty(); }
    /// Calls `then` once nothing is queued or going out: at the next turn
    /// when that is so now.
    void whenIdle(std::function<void()> then);
    /// Whether a command has its first character on the line and more to come.
    bool commandOnLine() const { return !queue_.empty() && queue_.front().sent > 0; }

  private:
    struct Pending {
        QByteArray text;
        Done done;
        qint64 askedAtNs = 0;
        int sent = 0;         // positions handed to the line so far, 0..8
        bool ctsSeen = false; // CTS is tested once, before the first character
        QString line;         // where the first character went
    };

    void drive();
    void finishHead(CommandEnd end);
    void writeNext(Pending& command);
    void loseLater(qint64 askedAtNs, Done done);

    TransmitPort& port_;
    Clock& clock_;
    std::deque<Pending> queue_;
    qint64 nextCharacterAt_ = 0; // monotonic ns: the pause after the last write ends here
    Timer timer_;
    std::deque<std::pair<qint64, Done>> lost_; // lost commands' pauses still running
    Timer lostTimer_;
    std::vector<std::function<void()>> whenIdle_;
};

} // namespace velmora
