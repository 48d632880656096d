#include "panel/setpoint_dialog.h"

#include "core/constants.h"
#include "core/limits.h"
#include "panel/setpoint_actions.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

namespace velmora {

namespace {

double Volts(int mv) {
    return double(mv / kVoltageStepMv) / 10.0;
}

qint16 Millivolts(const QDoubleSpinBox* box) {
    return static_cast<qint16>(std::lround(box->value() * 10.0) * kVoltageStepMv);
}

QDoubleSpinBox* VoltageBox(QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(1);
    box->setSingleStep(0.1);
    box->setSuffix(QStringLiteral(" V"));
    box->setAccelerated(true);
    return box;
}

StepSpinBox* CurrentBox(QWidget* parent) {
    auto* box = new StepSpinBox(parent);
    box->setSuffix(QStringLiteral(" mA"));
    box->setAccelerated(true);
    return box;
}

} // namespace

QValidator::State StepSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Acceptable) return state;
    return valueFromText(input) % singleStep() == 0 ? QValidator::Acceptable
                                                    : QValidator::Intermediate;
}

void StepSpinBox::fixup(QString& input) const {
    int pos = 0;
    QString copy = input;
    if (QSpinBox::validate(copy, pos) != QValidator::Acceptable) return;
    const int step = singleStep();
    int value = (valueFromText(copy) + step / 2) / step * step;
    if (value > maximum()) value = maximum() / step * step;
    input = textFromValue(value);
}

SetpointDialog::SetpointDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Set values"));
    setModal(false);
    createControls();
    placeControls();
    connect(sendButton, &QPushButton::clicked, this, &SetpointDialog::send);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    for (QCheckBox* on : {voltageLimitOn, currentLimitOn})
        connect(on, &QCheckBox::toggled, this, &SetpointDialog::saveLimits);
    // Stored once a value is taken (Enter, an arrow, leaving the box), not at
    // every key while it is typed.
    connect(voltageLimitBox, &QDoubleSpinBox::valueChanged, this, &SetpointDialog::saveLimits);
    connect(currentLimitBox, &QSpinBox::valueChanged, this, &SetpointDialog::saveLimits);
}

void SetpointDialog::createControls() {
    voltageBox = VoltageBox(this);
    currentBox = CurrentBox(this);
    limitsGroup = new QGroupBox(this);
    voltageLimitOn = new QCheckBox(QStringLiteral("Voltage"), limitsGroup);
    voltageLimitBox = VoltageBox(limitsGroup);
    currentLimitOn = new QCheckBox(QStringLiteral("Current"), limitsGroup);
    currentLimitBox = CurrentBox(limitsGroup);
    voltageLimitBox->setKeyboardTracking(false);
    currentLimitBox->setKeyboardTracking(false);
    sendButton = new QPushButton(QStringLiteral("Send"), this);
    sendButton->setDefault(true);
    closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setAutoDefault(false);
}

void SetpointDialog::placeControls() {
    auto* values = new QGridLayout;
    values->addWidget(new QLabel(QStringLiteral("Voltage:"), this), 0, 0);
    values->addWidget(voltageBox, 0, 1);
    values->addWidget(new QLabel(QStringLiteral("Current:"), this), 1, 0);
    values->addWidget(currentBox, 1, 1);
    auto* limits = new QGridLayout(limitsGroup);
    limits->addWidget(voltageLimitOn, 0, 0);
    limits->addWidget(voltageLimitBox, 0, 1);
    limits->addWidget(currentLimitOn, 1, 0);
    limits->addWidget(currentLimitBox, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(sendButton);
    buttons->addWidget(closeButton);
    auto* all = new QVBoxLayout(this);
    all->addLayout(values);
    all->addWidget(limitsGroup);
    all->addLayout(buttons);
    setTabOrder(voltageBox, currentBox);
    setTabOrder(currentBox, sendButton);
    setTabOrder(sendButton, closeButton);
    setTabOrder(closeButton, voltageLimitOn);
    setTabOrder(voltageLimitOn, voltageLimitBox);
    setTabOrder(voltageLimitBox, currentLimitOn);
    setTabOrder(currentLimitOn, currentLimitBox);
}

// The set-point boxes reach the limits in force, rounded down to the step;
// each limit box shows the user's limit, or the model's when there is none.
void SetpointDialog::updateRanges() {
    const Model model = shownModel_;
    const Limits own = model == Model::None ? Limits{Shared.VoltageLimit, Shared.CurrentLimit}
                                            : LimitsOf(model);
    const int step = CurrentStepMa(model);
    const std::optional<qint16> userVoltage =
        voltageLimitOn->isChecked() ? std::optional<qint16>(Millivolts(voltageLimitBox))
                                    : std::nullopt;
    const std::optional<qint16> userCurrent = currentLimitOn->isChecked()
                                                  ? std::optional<qint16>(currentLimitBox->value())
                                                  : std::nullopt;
    voltageBox->setRange(0, Volts(std::max<int>(0, Lowered(own.voltage, userVoltage))));
    currentBox->setSingleStep(step);
    currentBox->setRange(0, std::max<int>(0, Lowered(own.current, userCurrent)) / step * step);
    voltageLimitBox->setEnabled(voltageLimitOn->isChecked());
    currentLimitBox->setEnabled(currentLimitOn->isChecked());
}

void SetpointDialog::refresh() {
    shownModel_ = CurrentModel();
    const bool defined = shownModel_ != Model::None;
    limitsGroup->setTitle(defined ? QStringLiteral("Own limits for %1")
                                        .arg(ModelCaption(shownModel_))
                                  : QStringLiteral("Own limits"));
    limitsGroup->setEnabled(defined);
    const Limits own = LimitsOf(shownModel_);
    const UserLimits user = ReadUserLimits(shownModel_);
    {
        const QSignalBlocker b1(voltageLimitOn), b2(currentLimitOn), b3(voltageLimitBox),
            b4(currentLimitBox);
        voltageLimitBox->setRange(0, Volts(own.voltage));
        currentLimitBox->setSingleStep(CurrentStepMa(shownModel_));
        currentLimitBox->setRange(0, own.current);
        voltageLimitOn->setChecked(user.voltage.has_value());
        voltageLimitBox->setValue(double(user.voltage.value_or(own.voltage)) / 1000.0);
        currentLimitOn->setChecked(user.current.has_value());
        currentLimitBox->setValue(user.current.value_or(own.current));
    }
    updateRanges();
    takeSharedSetpoints();
    voltageBox->setFocus(Qt::OtherFocusReason);
    voltageBox->selectAll();
}

void SetpointDialog::takeSharedSetpoints() {
    shownVoltage_ = Shared.VoltageSetpoint;
    shownCurrent_ = Shared.CurrentSetpoint;
    voltageBox->setValue(double(shownVoltage_) / 1000.0);
    currentBox->setValue(shownCurrent_);
}

void SetpointDialog::saveLimits() {
    if (shownModel_ == Model::None || shownModel_ != CurrentModel()) return;
    UserLimits limits;
    if (voltageLimitOn->isChecked()) limits.voltage = Millivolts(voltageLimitBox);
    if (currentLimitOn->isChecked()) limits.current = static_cast<qint16>(currentLimitBox->value());
    SaveUserLimits(shownModel_, limits);
    updateRanges();
}

void SetpointDialog::send() {
    // The model was changed in the settings window meanwhile: the boxes are
    // filled again for it (both set-points are 0 then) rather than sent.
    if (CurrentModel() != shownModel_) {
        refresh();
        return;
    }
    voltageBox->interpretText();
    currentBox->interpretText();
    const qint16 voltage = Millivolts(voltageBox);
    const qint16 current = static_cast<qint16>(currentBox->value());
    shownVoltage_ = voltage;
    shownCurrent_ = current;
    SendTypedSetpoints(voltage, current);
}

// Coming back to the dialog: set-points changed elsewhere (the buttons, Zero
// output) are shown; values typed here and not sent stay otherwise.
void SetpointDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow()) return;
    if (CurrentModel() != shownModel_)
        refresh();
    else if (Shared.VoltageSetpoint != shownVoltage_ || Shared.CurrentSetpoint != shownCurrent_)
        takeSharedSetpoints();
}

} // namespace velmora
