#include "panel/setpoint_dialog.h"

#include "core/constants.h"
#include "session/session.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

namespace velmora {

namespace {

// A voltage as its box shows it: whole tenths of a volt, rounded down.
double BoxVolts(Millivolts v) {
    return Volts(WithinLimit(Millivolts(v.value + kVoltageStep.value), v, kVoltageStep));
}

Millivolts BoxMillivolts(const QDoubleSpinBox* box) {
    return RoundedVoltage(MillivoltsFromVolts(box->value()));
}

Milliamps BoxMilliamps(const QSpinBox* box) {
    return Milliamps(box->value());
}

VoltageSpinBox* VoltageBox(QWidget* parent) {
    auto* box = new VoltageSpinBox(parent);
    box->setAccelerated(true);
    return box;
}

// The digits typed in a voltage box, without its suffix: whole volts, and
// tenths after a point or a comma.
QRegularExpression TypedVolts() {
    return QRegularExpression(QStringLiteral("^\\s*([0-9]*)(?:[.,]([0-9]*))?\\s*$"));
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

VoltageSpinBox::VoltageSpinBox(QWidget* parent) : QDoubleSpinBox(parent) {
    setDecimals(1);
    setSingleStep(0.1);
    setSuffix(QStringLiteral(" V"));
}

// The text without the box's " V", or its "V" alone when the blank was deleted.
QString VoltageSpinBox::withoutSuffix(QString text) const {
    if (text.endsWith(suffix()))
        text.chop(suffix().size());
    else if (text.endsWith(suffix().trimmed()))
        text.chop(suffix().trimmed().size());
    return text;
}

QValidator::State VoltageSpinBox::validate(QString& input, int&) const {
    const QRegularExpressionMatch match = TypedVolts().match(withoutSuffix(input));
    if (!match.hasMatch()) return QValidator::Invalid;
    const QString whole = match.captured(1);
    const QString tenths = match.captured(2);
    if (tenths.size() > decimals()) return QValidator::Invalid;
    if (whole.isEmpty() && tenths.isEmpty()) return QValidator::Intermediate;
    if (valueFromText(input) > maximum()) return QValidator::Invalid;
    return QValidator::Acceptable;
}

double VoltageSpinBox::valueFromText(const QString& input) const {
    const QRegularExpressionMatch match = TypedVolts().match(withoutSuffix(input));
    if (!match.hasMatch()) return 0;
    const int whole = match.captured(1).toInt();
    const int tenths = match.captured(2).left(1).toInt();
    return whole + tenths / 10.0;
}

SetpointDialog::SetpointDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session) {
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
    // It shows what is in force, whoever changes it.
    UnitControl* unit = &session_.unit();
    connect(unit, &UnitControl::setpointsChanged, this, &SetpointDialog::showSetpoints);
    connect(unit, &UnitControl::modelChanged, this, [this] {
        if (isVisible()) refresh();
    });
    connect(unit, &UnitControl::userLimitsChanged, this, &SetpointDialog::showUserLimits);
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
    voltageLimitNote = new QLabel(limitsGroup);
    currentLimitNote = new QLabel(limitsGroup);
    storeNote = new QLabel(limitsGroup);
    storeNote->setWordWrap(true);
    storeNote->hide();
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
    limits->addWidget(voltageLimitNote, 0, 2);
    limits->addWidget(currentLimitOn, 1, 0);
    limits->addWidget(currentLimitBox, 1, 1);
    limits->addWidget(currentLimitNote, 1, 2);
    limits->addWidget(storeNote, 2, 0, 1, 3);
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
    const UnitControl& unit = session_.unit();
    const Milliamps step = CurrentStep(unit.model());
    voltageBox->setRange(0, BoxVolts(HighestVoltage(unit.model(), unit.userLimits())));
    currentBox->setSingleStep(step.value);
    currentBox->setRange(0, HighestCurrent(unit.model(), unit.userLimits()).value);
    voltageLimitBox->setEnabled(voltageLimitOn->isChecked());
    currentLimitBox->setEnabled(currentLimitOn->isChecked());
}

void SetpointDialog::refresh() {
    const Model model = session_.unit().model();
    const bool defined = model != Model::None;
    limitsGroup->setTitle(defined ? QStringLiteral("Own limits for %1").arg(ModelCaption(model))
                                  : QStringLiteral("Own limits"));
    limitsGroup->setEnabled(defined);
    const Limits own = LimitsOf(model);
    const UserLimits user = session_.unit().userLimits();
    {
        const QSignalBlocker b1(voltageLimitOn), b2(currentLimitOn), b3(voltageLimitBox),
            b4(currentLimitBox);
        voltageLimitBox->setRange(0, BoxVolts(own.voltage));
        currentLimitBox->setSingleStep(CurrentStep(model).value);
        currentLimitBox->setRange(0, own.current.value);
        voltageLimitOn->setChecked(user.voltage.has_value());
        voltageLimitBox->setValue(Volts(user.voltage.value_or(own.voltage)));
        currentLimitOn->setChecked(user.current.has_value());
        currentLimitBox->setValue(user.current.value_or(own.current).value);
    }
    voltageLimitNote->clear();
    currentLimitNote->clear();
    const QStringList unreadable = session_.unit().unreadableUserLimits();
    if (!unreadable.isEmpty())
        storeNote->setText(QStringLiteral("The stored limit %1 cannot be read; the model's limit "
                                          "holds until you set one here.")
                               .arg(unreadable.join(QStringLiteral(", "))));
    storeNote->setVisible(!unreadable.isEmpty() || storeFailed_);
    updateRanges();
    showSetpoints();
    voltageBox->setFocus(Qt::OtherFocusReason);
    voltageBox->selectAll();
}

// The user's limits in force, whoever set them; an unticked box keeps its
// value for ticking it again. Limits set anew replace any stored one that
// could not be read.
void SetpointDialog::showUserLimits() {
    const UserLimits user = session_.unit().userLimits();
    {
        const QSignalBlocker b1(voltageLimitOn), b2(currentLimitOn), b3(voltageLimitBox),
            b4(currentLimitBox);
        voltageLimitOn->setChecked(user.voltage.has_value());
        if (user.voltage) voltageLimitBox->setValue(Volts(*user.voltage));
        currentLimitOn->setChecked(user.current.has_value());
        if (user.current) currentLimitBox->setValue(user.current->value);
    }
    updateRanges();
    if (!storeFailed_ && session_.unit().unreadableUserLimits().isEmpty()) storeNote->hide();
}

void SetpointDialog::showSetpoints() {
    const Setpoints in = session_.unit().setpoints();
    voltageBox->setValue(Volts(in.voltage));
    currentBox->setValue(in.current.value);
}

void SetpointDialog::saveLimits() {
    UnitControl& unit = session_.unit();
    if (unit.model() == Model::None) return;
    UserLimits limits;
    if (voltageLimitOn->isChecked()) limits.voltage = BoxMillivolts(voltageLimitBox);
    if (currentLimitOn->isChecked()) limits.current = BoxMilliamps(currentLimitBox);
    const UserLimits before = unit.userLimits();
    const LimitChange change = unit.setUserLimits(limits);
    updateRanges();
    showLimitChange(change, before, limits);
}

// A note stays beside its limit until that limit is changed again, so
// setting the other one does not take it away unread.
void SetpointDialog::showLimitChange(const LimitChange& change, const UserLimits& before,
                                     const UserLimits& after) {
    if (after.voltage != before.voltage)
        voltageLimitNote->setText(change.voltageLoweredTo
                                      ? QStringLiteral("set-point lowered to %1 V")
                                            .arg(Volts(*change.voltageLoweredTo), 0, 'f', 1)
                                      : QString());
    if (after.current != before.current)
        currentLimitNote->setText(
            change.currentLoweredTo
                ? QStringLiteral("set-point lowered to %1 mA").arg(change.currentLoweredTo->value)
                : QString());
    if (!change.stored && !storeFailed_) {
        // Said once: the limits hold for this run all the same.
        storeFailed_ = true;
        storeNote->setText(QStringLiteral("Your limits could not be saved (the settings file %1 "
                                          "cannot be written); they hold until the program ends.")
                               .arg(session_.settingsFileName()));
        storeNote->show();
    }
}

void SetpointDialog::send() {
    voltageBox->interpretText();
    currentBox->interpretText();
    session_.unit().request(SetpointSource::SetValues,
                            {BoxMillivolts(voltageBox), BoxMilliamps(currentBox)});
    // Refused (no model, past a limit) or not, the boxes show what is in force.
    showSetpoints();
}

} // namespace velmora
