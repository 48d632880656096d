#pragma once
// The player: sends the set-points of a control file to the unit, each at the
// date and time its line carries, one record after the other.

#include "core/clock.h"
#include "playback/playback_progress.h"
#include "recording/file_identity.h"
#include "unit/limits.h"
#include "unit/measurement.h"

#include <QDate>
#include <QTime>
#include <functional>
#include <vector>

namespace velmora {

/// What the unit's door made of a record's set-points.
enum class PlayerSend { Queued, NoModel, Refused };

/// What the player needs of the unit it plays to.
struct PlayerHost {
    /// The model and the user's limits in force now: read at every record.
    std::function<Model()> model;
    std::function<UserLimits()> userLimits;
    /// Asks for set-points through the unit's door; when queued, `sent` is
    /// called once their command is out (or lost on a line that went away,
    /// after its pauses all the same). A refused record is skipped.
    std::function<PlayerSend(const Setpoints& setpoints, std::function<void()> sent)> send;
    /// A message for the user; the run goes on.
    std::function<void(const QString& text, const QString& title)> message;
    /// How far the run has come: at the start, after every record, once a
    /// second while waiting, and at the end.
    std::function<void(const PlaybackProgress& progress)> report;
};

/// What asking the player to start came to.
enum class PlaybackStart {
    Started,
    Refused, // the file could not be opened; nothing is sent
    Busy,    // a run asked to stop has not ended yet; nothing was started
};

/// A run through one control file: it reads the file once, at the start,
/// then waits for each record's second on a timer. Nothing waits inside it.
class Player {
  public:
    enum class State {
        Idle,
        Running,  // waiting for a record's second, or sending it
        Stopping, // asked to stop while a command is on the line
    };

    Player(Clock& clock, PlayerHost host);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    /// Starts playing the file at `path`; `fileName` is the name as typed,
    /// for the reports. When refused, `why` says why ("path: reason").
    PlaybackStart start(const QString& path, const QString& fileName, QString* why = nullptr);
    /// Ends the run: it sends nothing more; a command on the line finishes
    /// first. Harmless when no run is in progress.
    void stop();
    State state() const { return state_; }
    /// The last report.
    const PlaybackProgress& progress() const { return progress_; }
    /// The file being played, while a run is in progress.
    std::optional<FileIdentity> file() const { return file_; }

  private:
    struct Entry {
        int line;
        QDate date;
        QTime time;
        Values values;
    };

    void step();
    void sendDue(const Entry& entry);
    void sent();
    void finish();
    void report(int nextLine, std::optional<qint64> nextAt);
    std::optional<qint64> plannedAt(int line) const;

    Clock& clock_;
    PlayerHost host_;
    State state_ = State::Idle;
    std::vector<Entry> entries_;
    std::size_t next_ = 0;
    qint64 reportedSecond_ = -1;
    std::optional<FileIdentity> file_;
    PlaybackProgress progress_;
    Timer wake_;
};

} // namespace velmora
