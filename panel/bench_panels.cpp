#include "panel/bench_panels.h"

#include "core/constants.h"
#include "panel/add_unit_dialog.h"
#include "panel/bench_window.h"
#include "panel/form1.h"
#include "session/units.h"
#include "ui/show_in_front.h"

namespace velmora {

BenchPanels::BenchPanels(Units& units, RemoteServer* remote, QObject* parent)
    : QObject(parent), units_(units), remote_(remote) {
    connect(&units_, &UnitSet::changed, this, &BenchPanels::follow);
    follow();
}

BenchPanels::~BenchPanels() {
    delete benchWindow_.data();
    delete addDialog_.data();
}

QString BenchPanels::titleOf(int number) const {
    if (number == 1) return QString(kMainWindowTitle);
    return QString(kMainWindowTitle) + QStringLiteral(" \u2013 ") + units_.name(number);
}

// A panel for each unit, in the units' order; a unit gone takes its panel,
// a unit added gets one, shown.
void BenchPanels::follow() {
    while (count() > units_.count())
        panels_.pop_back();
    for (int n = 1; n <= units_.count(); ++n) {
        if (n <= count() && &panel(n).session() == &units_.at(n)) continue;
        auto form = std::make_unique<Form1>(units_.at(n), remote_);
        form->setBench(this);
        if (n == 1)
            connect(form.get(), &Form1::closing, this, &BenchPanels::closing);
        else
            form->setClosingHides(true);
        if (n <= count())
            panels_[std::size_t(n - 1)] = std::move(form);
        else
            panels_.push_back(std::move(form));
        if (n > 1 && !panel(1).isHidden()) panel(n).show();
    }
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

void BenchPanels::removeUnit(int number) {
    if (number < 2 || number > count()) return;
    panel(number).hide();
    units_.remove(number);
}

} // namespace velmora
