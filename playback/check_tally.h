#pragma once
// The running count of a check: what the player sends, when, and what would
// surprise a user, gathered line by line.

#include "playback/playback_rules.h"
#include "recording/local_clock.h"
#include "unit/model.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <array>
#include <limits>

namespace velmora {

/// Follows the player through a control file, one line at a time.
class CheckTally {
  public:
    CheckTally(Model model, qint64 now) : model_(model), now_(now), endMs_(now * 1000) {}

    /// The line's text for the listing, with the tally updated.
    QString take(int lineNumber, const RecordVerdict& verdict);
    /// The tally updated, without the text: for the warnings alone.
    void count(int lineNumber, const RecordVerdict& verdict) { tally(lineNumber, verdict); }
    /// What would surprise a user, one text a warning, without "warning: ".
    QStringList warnings() const;
    /// The warnings and the summary.
    void finish(QTextStream& out) const;

    int skipped() const { return skipped_; }

  private:
    enum Kind { Backwards, FarAhead, ClockChange, KindCount };
    // When the line's record is stamped and when it goes out (wall seconds).
    struct Timing {
        qint64 stamp = 0, goesOut = 0;
    };
    Timing tally(int lineNumber, const RecordVerdict& verdict);
    static QString head(int lineNumber);
    bool wanted(Kind kind);
    void warn(Kind kind, const QString& text);
    void checkClock(int lineNumber, qint64 stamp);

    Model model_;
    LocalClock clock_;
    qint64 now_;
    int records_ = 0; // lines that read as records
    int lines_ = 0;
    int commands_ = 0;
    int skipped_ = 0;
    int pastDue_ = 0;
    qint64 latest_ = std::numeric_limits<qint64>::min(); // the latest moment waited for
    qint64 endMs_;                                       // when the run is over
    qint64 firstDue_ = 0;
    qint64 lastDue_ = 0;
    std::array<QStringList, KindCount> warnings_;
    std::array<int, KindCount> warningCounts_{};
};

} // namespace velmora
