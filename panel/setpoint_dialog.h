#pragma once
// The "Set values" dialog: the voltage and current set-points typed in, and
// the user's own limits for the model in force.

#include "core/state.h"

#include <QDialog>
#include <QSpinBox>

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QPushButton;

namespace velmora {

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

/// Small modeless dialog; kept while the main window lives and filled anew
/// each time it opens.
class SetpointDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SetpointDialog(QWidget* parent);

    QDoubleSpinBox* voltageBox; // V, 0.1 V a step
    StepSpinBox* currentBox;    // mA, the model's step
    QGroupBox* limitsGroup;
    QCheckBox* voltageLimitOn;
    QDoubleSpinBox* voltageLimitBox;
    QCheckBox* currentLimitOn;
    StepSpinBox* currentLimitBox;
    QPushButton* sendButton;
    QPushButton* closeButton;

    /// Fills every box from the shared set-points and the stored limits of
    /// the model in force; the voltage box takes the focus.
    void refresh();
    /// Sends the set-points as the boxes hold them.
    void send();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void createControls();
    void placeControls();
    void updateRanges();
    void saveLimits();
    void takeSharedSetpoints();

    Model shownModel_ = Model::None;
    qint16 shownVoltage_ = 0; // the shared set-points the boxes were filled from
    qint16 shownCurrent_ = 0;
};

} // namespace velmora
