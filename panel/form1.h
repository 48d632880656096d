#pragma once
// The main window: the unit's front panel with its read-outs and the eight
// adjust buttons, over one session.

#include "panel/adjust_button.h"
#include "panel/panel_label.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>

class QAction;

namespace velmora {

class BenchPanels;
class Form2;
class PlotWindow;
class ProtectionWindow;
class RemoteServer;
class RemoteWindow;
class RunsWindow;
class Session;
class SetpointDialog;
struct Measurement;

/// The main window "Power supply", drawn as the unit's front panel.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    /// The panel over `session`; `remote`, when given, is remote control,
    /// which the menu and the tooltip show.
    explicit Form1(Session& session, RemoteServer* remote = nullptr);
    ~Form1() override;

    // The controls the rest of the program works with.
    AdjustButton* Command1; // voltage +1000 mV
    AdjustButton* Command2; // voltage -1000 mV
    AdjustButton* Command3; // voltage +100 mV
    AdjustButton* Command4; // voltage -100 mV
    AdjustButton* Command5; // current +100 mA
    AdjustButton* Command6; // current -100 mA
    AdjustButton* Command7; // current +10 mA
    AdjustButton* Command8; // current -10 mA
    PanelLabel Label1;      // measured voltage
    PanelLabel Label2;      // measured current
    PanelLabel Label16;     // set-point while an adjust button is held
    PanelLabel Label17;     // heartbeat

    Session& session() const { return session_; }
    /// Command1..Command8 by number 1..8.
    AdjustButton* command(int number) const { return commands_.at(number - 1); }

    /// The click area over the whole panel: opens the settings window.
    void Label15_Click();
    /// Opens the settings window and runs its opening steps when it is not
    /// open; otherwise only brings it to the front.
    Form2* OpenSettingsWindow();
    /// The open settings window, or nullptr when it is closed.
    Form2* settingsWindow() const;
    /// "Set values…": opens the dialog, or brings it forward when open.
    void OpenSetpointDialog();
    /// The "Zero output" action, Ctrl+0 in every window of the program.
    QAction* zeroOutputAction() const { return zeroOutput_; }
    /// The "Set values" dialog once opened, else nullptr.
    SetpointDialog* setpointDialog() const;
    /// The tooltip of the panel outside the buttons: what the link is doing,
    /// then remote control, the meters once anything was measured, and the
    /// off-timer's countdown while it runs, a line each.
    QString linkToolTip() const;
    /// Opens the plot window, or brings the open one to the front.
    PlotWindow* OpenPlotWindow();
    PlotWindow* plotWindow() const;
    /// "Remote control…": opens its window, or brings it forward.
    RemoteWindow* OpenRemoteWindow();
    RemoteServer* remote() const { return remote_; }
    /// "Protection…": opens its window, or brings it forward.
    ProtectionWindow* OpenProtectionWindow();
    ProtectionWindow* protectionWindow() const;
    /// The bench the panel is one of: its menu then holds "Bench…", "Add
    /// unit…" and, but for unit 1, "Remove this unit".
    void setBench(BenchPanels* bench) { bench_ = bench; }
    BenchPanels* bench() const { return bench_; }
    /// Closing then only hides the window (another unit's panel).
    void setClosingHides(bool hides) { closingHides_ = hides; }
    /// "Runs…": opens its window, or brings it forward (panel/runs_window.cpp).
    RunsWindow* OpenRunsWindow();
    RunsWindow* runsWindow() const;

  signals:
    void Label15Clicked();
    /// The window is closing: the program ends.
    void closing();

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void createButtons();
    void followSession();
    void showMeasurement(const Measurement& measurement);
    void showContextMenu(const QPoint& globalPos);
    void showTrip(const QString& text);

    Session& session_;
    RemoteServer* remote_;
    BenchPanels* bench_ = nullptr;
    bool closingHides_ = false;
    QPointer<PlotWindow> plotWindow_;
    QPointer<RemoteWindow> remoteWindow_;
    QPointer<ProtectionWindow> protectionWindow_;
    QPointer<RunsWindow> runsWindow_;
    QPointer<Form2> settingsWindow_;
    QPointer<SetpointDialog> setpointDialog_;
    std::array<AdjustButton*, 8> commands_{};
    QFont readoutFont_; // Label1, Label2 and Label16
    QImage arrowStrip_;
    bool loaded_ = false;
    bool clickStarted_ = false;
    QAction* zeroOutput_;
};

} // namespace velmora
