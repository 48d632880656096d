#pragma once
// The main window: the unit's front panel with its read-outs and the eight
// adjust buttons. It owns the serial component.

#include "panel/adjust_button.h"
#include "panel/panel_label.h"

#include "history/history.h"
#include "plot/plot_window.h"

#include <QFont>
#include <QPointer>
#include <QWidget>
#include <array>

class QAction;

namespace velmora {

class SerialComm;
class SetpointDialog;

/// The main window "Power supply", drawn as the unit's front panel.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    Form1();
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
    SerialComm* const MSComm1;

    /// Command1..Command8 by number 1..8.
    AdjustButton* command(int number) const { return commands_.at(number - 1); }

    /// The receive handler of MSComm1.
    void MSComm1_OnComm();
    /// The click area over the whole panel: opens the settings window.
    void Label15_Click();
    /// Press and release of adjust button 1..8.
    void Command_MouseDown(int number);
    void Command_MouseUp(int number);
    /// Ends an adjustment: restores the read-outs and sends both set-points.
    void SendSetpoints();
    /// "Set values…": opens the dialog, or brings it forward when open.
    void OpenSetpointDialog();
    /// "Zero output": ends a playback, drops the commands still waiting,
    /// sends 0 V and 0 A and makes both set-points 0.
    void ZeroOutput();
    /// The "Zero output" action, Ctrl+0 in every window of the program.
    QAction* zeroOutputAction() const { return zeroOutput_; }
    /// The "Set values" dialog once opened, else nullptr.
    SetpointDialog* setpointDialog() const;
    /// The tooltip of the panel outside the buttons: what the link is doing.
    QString linkToolTip() const;

    /// Every valid measurement and every set-point command since start-up.
    const History& history() const { return history_; }
    /// Opens the plot window, or brings the open one to the front.
    PlotWindow* OpenPlotWindow();
    PlotWindow* plotWindow() const { return plotWindow_; }

  signals:
    void Label15Clicked();

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void onCommandSent(const QByteArray& command);
    void showContextMenu(const QPoint& globalPos);

    History history_;
    QPointer<PlotWindow> plotWindow_;
    std::array<AdjustButton*, 8> commands_{};
    QFont readoutFont_; // Label1, Label2 and Label16
    bool loaded_ = false;
    bool clickStarted_ = false;
    QAction* zeroOutput_;
    QPointer<SetpointDialog> setpointDialog_;
};

} // namespace velmora
