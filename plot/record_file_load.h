#pragma once
// A record file read on a thread of its own for a plot window, so that the
// panel, playback and Zero output go on while a day's recording is read.

#include "history/file_history.h"
#include "plot/plan_picture.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <thread>

namespace velmora {

/// A record file as read for the plot: its history and counts, and its plan
/// as the plot shows it.
struct LoadedRecordFile {
    FileHistory file; // its plan handed on to the picture
    PlanPicture plan;
};

/// Reads one record file, its plan included, away from the window's thread:
/// tells how far it has come and hands everything over at the end. The
/// reading thread touches nothing but this object's own reading state.
class RecordFileLoad : public QObject {
    Q_OBJECT
  public:
    /// Starts reading at once; `plan` is read on the caller's thread.
    RecordFileLoad(const QString& path, const PlanInputs& plan);
    /// Stops the reading and waits for its thread: a few thousand lines.
    ~RecordFileLoad() override;

    /// The share of the file's bytes read, 0 to 1.
    double share() const;
    /// Once `finished`: whether the reading was stopped before the end.
    bool cancelled() const { return result_.file.cancelled; }
    /// Once `finished`: what the reading gave, moved out.
    LoadedRecordFile take() { return std::move(result_); }
    /// Stops the reading for good, for a window that closes: the object
    /// deletes itself once its thread has ended, without anyone waiting.
    void abandon();

    /// How often the window hears of progress and of the end.
    static constexpr int kPollMs = 25;

  signals:
    void progressed(double share);
    /// The thread has ended, read to the end, failed or stopped.
    void finished();

  private:
    void poll();

    qint64 size_;
    std::atomic<bool> cancel_{false};
    std::atomic<qint64> bytesRead_{0};
    std::atomic<bool> done_{false};
    LoadedRecordFile result_; // the thread's until done_, then ours
    QTimer poll_;
    std::thread thread_;
};

} // namespace velmora
