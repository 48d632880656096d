#pragma once
// The "Protection" window: the trip rules, each with its own on/off, the
// frames in a row that trip, the trip with its Clear button, and the
// off-timer with its countdown.

#include "meters/protection.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace velmora {

class Session;
class UnitSet;

/// Small modeless window over one session's protection; every change of a
/// box is stored at once, and it follows changes made elsewhere.
class ProtectionWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ProtectionWindow(Session& session);

    QCheckBox* voltageOn;
    QDoubleSpinBox* voltage; // V
    QCheckBox* currentOn;
    QDoubleSpinBox* current; // A
    QCheckBox* powerOn;
    QDoubleSpinBox* power; // W
    QSpinBox* frames;
    QLabel* tripState; // the trip's message, or "No trip"
    QPushButton* clear;
    QTimeEdit* offAfter; // hh:mm:ss
    QPushButton* startTimer;
    QPushButton* stopTimer;
    QLabel* countdown;
    QLabel* storeNote; // said once: the settings file cannot be written
    /// "A trip on any unit zeroes every unit": shown on a bench of more than one.
    QCheckBox* tripAll;

    /// The bench the unit is one of: the window then shows tripAll and
    /// names the unit in its title.
    void setBench(UnitSet* bench);

    /// The rules as the boxes show them, stored through the session.
    void storeBoxes();
    /// Shows the rules, the trip and the off-timer as they are now.
    void refresh();

  private:
    void createControls();
    void placeControls();
    void updateRanges();
    ProtectionSettings boxes() const;

    Session& session_;
    UnitSet* bench_ = nullptr;
    QTimer tick_; // the countdown, while the off-timer runs
    bool storeFailed_ = false;
};

} // namespace velmora
