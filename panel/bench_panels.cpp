#include "panel/bench_panels.h"

#include "core/constants.h"
#include "panel/add_unit_dialog.h"
#include "panel/bench_window.h"
#include "panel/form1.h"
#include "panel/mqtt_window.h"
#include "session/units.h"
#include "ui/show_in_front.h"

#include <algorithm>

namespace velmora {

BenchPanels::BenchPanels(Units& units, RemoteServer* remote, MqttBridge* mqtt,
                         SettingsStore* store, QObject* parent)
    : QObject(parent), units_(units), remote_(remote), mqtt_(mqtt), store_(store) {
    connect(&units_, &UnitSet::changed, this, &BenchPanels::follow);
    follow();
}

BenchPanels::~BenchPanels() {
    delete benchWindow_.data();
    delete addDialog_.data();
    delete mqttWindow_.data();
}

QString BenchPanels::titleOf(int number) const {
    if (number == 1) return QString(kMainWindowTitle);
    return QString(kMainWindowTitle) + QStringLiteral(" \u2013 ") + units_.name(number);
}

// A panel for each unit, in the units' order: a unit that moved keeps its
// panel and the windows it opened, a unit added gets one, shown.
void BenchPanels::follow() {
    std::vector<std::unique_ptr<Form1>> kept;
    for (int n = 1; n <= units_.count(); ++n) {
        const auto it = std::find_if(panels_.begin(), panels_.end(), [&](const auto& form) {
            return form && &form->session() == &units_.at(n);
        });
        if (it != panels_.end()) {
            kept.push_back(std::move(*it));
            continue;
        }
        auto form = std::make_unique<Form1>(units_.at(n), remote_);
        form->setBench(this);
        if (n == 1)
            connect(form.get(), &Form1::closing, this, &BenchPanels::closing);
        else
            form->setClosingHides(true);
        if (n > 1 && !kept.front()->isHidden()) form->show();
        kept.push_back(std::move(form));
    }
    panels_ = std::move(kept);
    for (int n = 1; n <= count(); ++n)
        panel(n).setWindowTitle(titleOf(n));
}

void BenchPanels::showAll() {
    for (int n = 1; n <= count(); ++n)
        panel(n).show();
}

void BenchPanels::showPanel(int number) {
    if (number >= 1 && number <= count()) ShowInFront(&panel(number));
}

BenchWindow* BenchPanels::OpenBenchWindow() {
    if (!benchWindow_) {
        benchWindow_ = new BenchWindow(units_);
        connect(benchWindow_, &BenchWindow::panelAsked, this, &BenchPanels::showPanel);
    }
    return ShowInFront(benchWindow_.data());
}

AddUnitDialog* BenchPanels::OpenAddUnitDialog() {
    if (!addDialog_) {
        addDialog_ = new AddUnitDialog(units_);
        connect(addDialog_, &AddUnitDialog::added, this, &BenchPanels::showPanel);
    }
    return ShowInFront(addDialog_.data());
}

MqttWindow* BenchPanels::OpenMqttWindow() {
    if (!hasMqtt()) return nullptr;
    if (!mqttWindow_) mqttWindow_ = new MqttWindow(*mqtt_, *store_);
    return ShowInFront(mqttWindow_.data());
}

// The panel goes first, so nothing of it outlives its session.
void BenchPanels::removeUnit(int number) {
    if (number < 2 || number > count()) return;
    panels_.erase(panels_.begin() + (number - 1));
    units_.remove(number);
}

} // namespace velmora
