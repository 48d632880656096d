#pragma once
// The "Runs" window: a run file chosen and checked, Start and Stop, the step
// running with its time and what it waits for, the ended steps with their
// reasons, and how the last run ended with its report's folder.

#include "core/clock.h"

#include <QWidget>

class QFileDialog;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPushButton;
class QStringListModel;

namespace velmora {

class Session;
struct CheckedRunFile;
struct RunEvent;
struct RunVerdict;

/// Small modeless window over one session's runs. It follows runs started
/// elsewhere (remote control); closing it changes nothing about the run.
class RunsWindow : public QWidget {
    Q_OBJECT
  public:
    explicit RunsWindow(Session& session);
    ~RunsWindow() override;

    QLineEdit* fileName; // as typed, resolved as the control file's
    QPushButton* choose;
    QLabel* verdict;   // "Check: ok", "Check: 2 problems", or why the file cannot be read
    QLabel* worstCase; // "Worst case: 00:00:42"
    QListWidget* problems;
    QPushButton* start;
    QPushButton* stop;
    QLabel* refusal; // why Start was refused
    QLabel* state;   // "Running: charge.run"
    QLabel* step;    // "Step 2, line 3: rest 10 s"
    QLabel* progress;
    QListView* endedSteps;
    QLabel* outcome;
    QLabel* report;

    /// Takes the name in the box as the session's run file and shows its check.
    void takeFileName();
    void startRun();
    void stopRun();
    /// Opens the file dialog (never waiting for it); a file chosen there
    /// goes into the box and is checked.
    QFileDialog* chooseFile();
    QStringList endedStepTexts() const;
    /// Whether the once-a-second refresh is armed: only while a run goes.
    bool ticking() const { return tick_.isActive(); }

  private:
    void placeControls();
    void checkFile();
    void showVerdict(const RunVerdict& verdict);
    void showUnreadable(const QString& why);
    void followRuns();
    void onRunEvent(const RunEvent& event);
    void onRunChanged();
    void fillEndedSteps();
    void appendEndedStep(const QString& text);
    void refresh();

    Session& session_;
    Timer tick_;
    QStringListModel* ended_;
};

} // namespace velmora
