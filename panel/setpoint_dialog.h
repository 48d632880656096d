#pragma once
// The "Set values" dialog: the voltage and current set-points typed in, and
// the user's own limits for the model in force.

#include "unit/limits.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QSpinBox>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace velmora {

class Session;
struct LimitChange;

/// A spin box of whole mA that takes only multiples of its step; a typed
/// value between two of them goes to the nearer (halves up), as the unit
/// would round it.
class StepSpinBox : public QSpinBox {
    Q_OBJECT
  public:
    using QSpinBox::QSpinBox;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

/// A spin box of volts with one decimal that takes "1,5" and "1.5" alike as
/// one and a half, whatever the locale: the panel shows "00,0V".
class VoltageSpinBox : public QDoubleSpinBox {
    Q_OBJECT
  public:
    explicit VoltageSpinBox(QWidget* parent);
    QValidator::State validate(QString& input, int& pos) const override;
    double valueFromText(const QString& text) const override;

  private:
    QString withoutSuffix(QString text) const;
};

/// Small modeless dialog over one session; it shows the set-points, the model
/// and the user's limits in force and follows every change while open.
class SetpointDialog : public QDialog {
    Q_OBJECT
  public:
    SetpointDialog(Session& session, QWidget* parent);

    VoltageSpinBox* voltageBox; // V, 0.1 V a step
    StepSpinBox* currentBox;    // mA, the model's step
    QGroupBox* limitsGroup;
    QCheckBox* voltageLimitOn;
    VoltageSpinBox* voltageLimitBox;
    QCheckBox* currentLimitOn;
    StepSpinBox* currentLimitBox;
    QLabel* voltageLimitNote; // "set-point lowered to 10.0 V"
    QLabel* currentLimitNote;
    QLabel* storeNote; // a stored limit that cannot be read, or a store that cannot be written
    QPushButton* sendButton;
    QPushButton* closeButton;

    /// Fills every box from the session; the voltage box takes the focus.
    void refresh();
    /// Sends the set-points exactly as the boxes show them.
    void send();

  private:
    void createControls();
    void placeControls();
    void updateRanges();
    void saveLimits();
    void showLimitChange(const LimitChange& change, const UserLimits& before,
                         const UserLimits& after);
    void showSetpoints();
    void showUserLimits();

    Session& session_;
    bool storeFailed_ = false;
};

} // namespace velmora
