#pragma once
// The plot window: the live measurements since start-up, or a record file,
// over time, with a time window, following, hover read-out and export.

#include "plot/plan_picture.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QListView;
class QStringListModel;
class QProgressBar;
class QPushButton;
class QStackedLayout;

namespace velmora {

class PlotView;
class RecordFileLoad;
class Session;
struct PlaybackProgress;

/// "Plot" (live, over the session's history) or "Plot – name" (a record file
/// it holds itself). Modeless; closing it loses nothing of the session's.
class PlotWindow : public QWidget {
    Q_OBJECT
  public:
    /// The live window over the session's history; the session must outlive it.
    explicit PlotWindow(Session& session);
    /// A window of its own over the record file at `path`, read on a thread
    /// of its own, what it would do when played on `plan` included; until
    /// then it shows how far the reading has come, and a Cancel button.
    /// Files opened from it are laid out on `session`'s model.
    PlotWindow(Session& session, const QString& path, const PlanInputs& plan);
    /// Stops a reading still going on, without waiting for it.
    ~PlotWindow() override;

    /// Whether the file is still being read.
    bool loading() const;
    RecordFileLoad* fileLoad() const;

    /// Choices of the time window, in the order of the list.
    enum Span { LastMinute, LastTenMinutes, LastHour, Everything };
    void setSpan(Span span);
    /// Follows "now" (or a file's end) again, as the Follow button does.
    void follow();
    bool following() const { return following_; }
    PlotView* view() const { return view_; }
    QString note() const { return note_->text(); }
    /// The hover read-out for the time `ms` since the epoch, with the
    /// skipped line marked there, if any.
    QString readoutAt(qint64 ms) const;

    /// Shows what the file would do when played, from the next draw on: its
    /// set-points as dashed steps, its skipped lines marked, and the
    /// warnings and skipped lines listed.
    void setPlan(PlanPicture plan);
    QStringList planNotes() const;
    /// The live window's line about a playback run; empty before any run.
    QString playbackStatus() const { return playback_->text(); }
    /// The live window's meters line as last drawn; empty in a file's window.
    QString metersText() const { return meters_ ? meters_->text() : QString(); }

    bool saveData(const QString& path) const;
    bool savePicture(const QString& path) const;

    /// At most this many redraws a second while new samples arrive.
    static constexpr int kRedrawsPerSecond = 10;

  protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void build();
    QWidget* buildLoadingPage(const QString& fileName);
    QLayout* buildMetersRow();
    void showMeters();
    void showLoaded();
    void redrawIfChanged();
    void placeRange();
    void stopFollowing();
    qint64 nowMs() const;
    void chooseAndOpen();
    void chooseAndSaveData();
    void chooseAndSavePicture();
    void showPlaybackProgress(const PlaybackProgress& progress);
    void showPlaybackStatus();

    Session& session_;
    std::unique_ptr<History> own_;
    const History* history_;
    bool live_;
    QPointer<RecordFileLoad> load_;
    QStackedLayout* pages_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    PlotView* view_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* follow_ = nullptr;
    QCheckBox* power_ = nullptr;
    QLabel* readout_ = nullptr;
    QLabel* note_ = nullptr;
    QLabel* playback_ = nullptr;
    QLabel* meters_ = nullptr;   // live only
    QListView* notes_ = nullptr; // over thousands of lines, a list view is quick to fill
    QStringListModel* noteTexts_ = nullptr;
    std::vector<SkipMark> marks_;
    std::unique_ptr<PlaybackProgress> progress_; // the last report of a run
    QTimer redraw_;
    quint64 drawnRevision_ = ~0ULL;
    bool following_ = true;
    bool placing_ = false;
};

/// Opens a record file in a window of its own, with what it would do when
/// played as a control file on the session's model, read without holding up
/// the program; on a missing or unreadable file shows why and opens nothing.
PlotWindow* OpenRecordFileWindow(Session& session, const QString& path);

} // namespace velmora
