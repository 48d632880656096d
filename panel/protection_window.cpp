#include "panel/protection_window.h"

#include "meters/off_timer.h"
#include "session/session.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include "session/unit_set.h"

#include <QGridLayout>
#include <QSignalBlocker>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <tuple>

namespace velmora {

namespace {

constexpr int kTickMs = 250;

// Thresholds are kept in mV, mA and mW; the boxes show V, A and W.
double Units(qint64 thousandths) {
    return double(thousandths) / 1000.0;
}

qint64 Thousandths(const QDoubleSpinBox* box) {
    return std::llround(box->value() * 1000.0);
}

// A ticked rule at the box's value; an unticked one is off.
TripRule Rule(const QCheckBox* on, const QDoubleSpinBox* box) {
    return on->isChecked() ? TripRule{true, Thousandths(box)} : TripRule{};
}

QDoubleSpinBox* ThresholdBox(const QString& unit, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(3);
    box->setSuffix(u' ' + unit);
    box->setAccelerated(true);
    // Stored when typing is done or a step is taken, not at every key.
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

ProtectionWindow::ProtectionWindow(Session& session) : session_(session) {
    setWindowTitle(QStringLiteral("Protection"));
    setAttribute(Qt::WA_DeleteOnClose);
    createControls();
    placeControls();
    updateRanges();
    // An unticked rule's box starts at the model's limit.
    for (QDoubleSpinBox* box : {voltage, current, power})
        box->setValue(box->maximum());
    for (QCheckBox* on : {voltageOn, currentOn, powerOn})
        connect(on, &QCheckBox::toggled, this, &ProtectionWindow::storeBoxes);
    for (QDoubleSpinBox* box : {voltage, current, power})
        connect(box, &QDoubleSpinBox::valueChanged, this, &ProtectionWindow::storeBoxes);
    connect(frames, &QSpinBox::valueChanged, this, &ProtectionWindow::storeBoxes);
    connect(clear, &QPushButton::clicked, &session_, &Session::clearTrip);
    connect(startTimer, &QPushButton::clicked, this,
            [this] { session_.startOffTimer(QTime(0, 0).secsTo(offAfter->time())); });
    connect(stopTimer, &QPushButton::clicked, this, [this] { session_.startOffTimer(0); });
    connect(&session_, &Session::protectionChanged, this, &ProtectionWindow::refresh);
    connect(&session_.unit(), &UnitControl::modelChanged, this, &ProtectionWindow::refresh);
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, &ProtectionWindow::refresh);
    refresh();
}

void ProtectionWindow::createControls() {
    voltageOn = new QCheckBox(QStringLiteral("Voltage above"), this);
    voltage = ThresholdBox(QStringLiteral("V"), this);
    currentOn = new QCheckBox(QStringLiteral("Current above"), this);
    current = ThresholdBox(QStringLiteral("A"), this);
    powerOn = new QCheckBox(QStringLiteral("Power above"), this);
    power = ThresholdBox(QStringLiteral("W"), this);
    frames = new QSpinBox(this);
    frames->setRange(1, ProtectionSettings::kMaxFrames);
    frames->setValue(ProtectionSettings::kDefaultFrames);
    frames->setKeyboardTracking(false);
    tripState = new QLabel(this);
    tripState->setWordWrap(true);
    clear = new QPushButton(QStringLiteral("Clear"), this);
    offAfter = new QTimeEdit(QTime(1, 0), this);
    offAfter->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    offAfter->setMinimumTime(QTime(0, 0, 1));
    startTimer = new QPushButton(QStringLiteral("Start"), this);
    stopTimer = new QPushButton(QStringLiteral("Stop"), this);
    countdown = new QLabel(this);
    storeNote = new QLabel(this);
    storeNote->setWordWrap(true);
    storeNote->hide();
    tripAll = new QCheckBox(QStringLiteral("A trip on any unit zeroes every unit"), this);
    tripAll->setObjectName(QStringLiteral("tripAll"));
    tripAll->hide();
}

void ProtectionWindow::setBench(UnitSet* bench) {
    bench_ = bench;
    if (!bench_) return;
    const auto follow = [this] {
        const bool several = bench_->count() > 1;
        setWindowTitle(several ? QStringLiteral("Protection – ") + session_.name()
                               : QStringLiteral("Protection"));
        tripAll->setVisible(several);
        const QSignalBlocker quiet(tripAll);
        tripAll->setChecked(bench_->tripAll());
    };
    connect(bench_, &UnitSet::changed, this, follow);
    connect(bench_, &UnitSet::tripAllChanged, this, follow);
    connect(tripAll, &QCheckBox::toggled, this, [this](bool on) {
        if (!bench_->setTripAll(on) && !storeFailed_) {
            storeFailed_ = true;
            storeNote->setText(QStringLiteral("The setting could not be saved (the settings "
                                              "file %1 cannot be written); it holds until the "
                                              "program ends.")
                                   .arg(session_.settingsFileName()));
            storeNote->show();
        }
    });
    follow();
}

void ProtectionWindow::placeControls() {
    auto* rules = new QGridLayout;
    rules->addWidget(
        new QLabel(QStringLiteral("Zero the output when a value stays above its threshold:"), this),
        0, 0, 1, 2);
    rules->addWidget(voltageOn, 1, 0);
    rules->addWidget(voltage, 1, 1);
    rules->addWidget(currentOn, 2, 0);
    rules->addWidget(current, 2, 1);
    rules->addWidget(powerOn, 3, 0);
    rules->addWidget(power, 3, 1);
    rules->addWidget(new QLabel(QStringLiteral("for frames in a row:"), this), 4, 0);
    rules->addWidget(frames, 4, 1);
    auto* trip = new QHBoxLayout;
    trip->addWidget(tripState, 1);
    trip->addWidget(clear);
    auto* timer = new QHBoxLayout;
    timer->addWidget(new QLabel(QStringLiteral("Zero output after"), this));
    timer->addWidget(offAfter);
    timer->addWidget(startTimer);
    timer->addWidget(stopTimer);
    auto* all = new QVBoxLayout(this);
    all->addLayout(rules);
    all->addLayout(trip);
    all->addLayout(timer);
    all->addWidget(countdown);
    all->addWidget(tripAll);
    all->addWidget(storeNote);
    all->addStretch(1);
}

// Within the model's range: a threshold beyond it could never be stored.
void ProtectionWindow::updateRanges() {
    const Limits limits = session_.unit().limits();
    const qint64 limitMw = qint64(limits.voltage.value) * limits.current.value / 1000;
    const std::pair<QDoubleSpinBox*, qint64> ranges[] = {
        {voltage, limits.voltage.value}, {current, limits.current.value}, {power, limitMw}};
    for (const auto& [box, limit] : ranges) {
        const QSignalBlocker quiet(box);
        box->setRange(0.001, Units(std::max<qint64>(limit, 1)));
        box->setEnabled(limit > 0);
    }
}

ProtectionSettings ProtectionWindow::boxes() const {
    return {Rule(voltageOn, voltage), Rule(currentOn, current), Rule(powerOn, power),
            frames->value()};
}

void ProtectionWindow::storeBoxes() {
    if (session_.setProtection(boxes()) || storeFailed_) return;
    // Said once: the rules hold for this run all the same.
    storeFailed_ = true;
    storeNote->setText(QStringLiteral("The rules could not be saved (the settings file %1 cannot "
                                      "be written); they hold until the program ends.")
                           .arg(session_.settingsFileName()));
    storeNote->show();
}

// An unticked rule's box keeps its value for ticking it again.
void ProtectionWindow::refresh() {
    updateRanges();
    const ProtectionSettings& s = session_.protection();
    const std::tuple<QCheckBox*, QDoubleSpinBox*, TripRule> rules[] = {
        {voltageOn, voltage, s.voltage},
        {currentOn, current, s.current},
        {powerOn, power, s.power}};
    for (const auto& [on, box, rule] : rules) {
        const QSignalBlocker quietOn(on), quietBox(box);
        on->setChecked(rule.on);
        if (rule.on) box->setValue(Units(rule.threshold));
    }
    {
        const QSignalBlocker quiet(frames);
        frames->setValue(s.frames);
    }
    tripState->setText(session_.tripped() ? session_.tripText() : QStringLiteral("No trip"));
    clear->setEnabled(session_.tripped());
    const qint64 remaining = session_.offTimerRemaining();
    countdown->setText(remaining > 0 ? CountdownText(remaining)
                                     : QStringLiteral("The off-timer is not running."));
    stopTimer->setEnabled(remaining > 0);
    if (remaining > 0 && !tick_.isActive()) tick_.start();
    if (remaining == 0) tick_.stop();
}

} // namespace velmora
