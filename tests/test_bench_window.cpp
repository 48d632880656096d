// The panels of a bench of several units: their titles, closing and
// removing, the Bench window's table and "All outputs off", "Add unit…",
// and what the Protection window and the tooltip say of the unit.

#include "panel/add_unit_dialog.h"
#include "panel/bench_panels.h"
#include "panel/bench_window.h"
#include "panel/form1.h"
#include "panel/protection_window.h"
#include "support/units_on_fake_lines.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <gtest/gtest.h>

namespace velmora::test {
namespace {

using namespace velmora::literals;

struct Panels {
    explicit Panels(int units) : bench(UnitsOnFakeLines::Bench(units)) {
        bench.start();
        panels = std::make_unique<BenchPanels>(*bench.units, nullptr);
        panels->showAll();
    }
    QStringList titles() const {
        QStringList t;
        for (int n = 1; n <= panels->count(); ++n)
            t << panels->panel(n).windowTitle();
        return t;
    }
    UnitsOnFakeLines bench;
    std::unique_ptr<BenchPanels> panels;
};

TEST(BenchPanels, EachUnitHasItsPanelAndAnotherUnitsPanelOnlyHides) {
    Panels p(3);
    EXPECT_EQ(p.titles(), (QStringList{"Power supply", "Power supply \u2013 Unit 2",
                                       "Power supply \u2013 Unit 3"}));
    p.panels->panel(2).close();
    EXPECT_TRUE(p.panels->panel(2).isHidden());
    EXPECT_EQ(p.panels->count(), 3);
    p.panels->showPanel(2);
    EXPECT_FALSE(p.panels->panel(2).isHidden());

    Form1* third = &p.panels->panel(3);
    p.panels->removeUnit(2);
    p.bench.clock.advanceMs(1000);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(p.titles(), (QStringList{"Power supply", "Power supply \u2013 Unit 3"}));
    EXPECT_EQ(&p.panels->panel(2), third); // the unit that moved keeps its panel

    AddUnitDialog* dialog = p.panels->OpenAddUnitDialog();
    dialog->port->setCurrentIndex(dialog->port->findText("COM4"));
    dialog->name->setText("Charger");
    EXPECT_EQ(dialog->addUnit(), 0);
    EXPECT_TRUE(dialog->problem->text().contains("is Unit 3 (Unit2)'s device"))
        << dialog->problem->text().toStdString();
    dialog->port->setCurrentIndex(dialog->port->findText("COM1"));
    EXPECT_EQ(dialog->addUnit(), 3);
    EXPECT_EQ(p.titles().last(), "Power supply \u2013 Charger");
    EXPECT_FALSE(p.panels->panel(3).isHidden());
    EXPECT_EQ(QSettings(p.bench.settingsPath(), QSettings::IniFormat).value("Unit3/Name"),
              "Charger");
}

TEST(BenchWindow, ListsEveryUnitAndZeroesThemAll) {
    Panels p(2);
    p.bench.units->at(2).unit().request(SetpointSource::SetValues, {12000_mV, 1000_mA});
    p.bench.clock.advanceMs(1000);
    p.bench.feedFrame(2, "120", "100");
    p.bench.takeWrites();
    BenchWindow* window = p.panels->OpenBenchWindow();
    window->refresh();
    const auto row = [window](int r) {
        QStringList texts;
        for (int c = 0; c < window->table->columnCount(); ++c)
            texts << window->table->item(r, c)->text();
        return texts;
    };
    EXPECT_EQ(row(0), (QStringList{"Unit 1", "COM2", "1A/20V", "receiving", "-", "0.0 V  0.00 A",
                                   "-", "-", "-", "idle"}));
    EXPECT_EQ(row(1), (QStringList{"Unit 2", "COM3", "2,5A/25V", "receiving", "12.0 V  1.00 A",
                                   "12.0 V  1.00 A", "CV", "-", "-", "idle"}));
    window->allOff->click();
    p.bench.clock.advanceMs(1000);
    EXPECT_EQ(p.bench.takeWrites(), (QByteArrayList{"000\r000\r", "000\r000\r"}));
}

TEST(BenchPanels, ProtectionAndTheTooltipSayWhichUnit) {
    Panels p(2);
    ProtectionWindow* protection = p.panels->panel(2).OpenProtectionWindow();
    EXPECT_EQ(protection->windowTitle(), "Protection \u2013 Unit 2");
    EXPECT_FALSE(protection->tripAll->isHidden());
    protection->tripAll->click();
    EXPECT_TRUE(p.bench.units->tripAll());
    EXPECT_EQ(QSettings(p.bench.settingsPath(), QSettings::IniFormat).value("Bench/TripAll"),
              "true");
    EXPECT_TRUE(p.panels->panel(2).linkToolTip().startsWith("Unit 2: COM3 \u2013 /dev/ttyS2"))
        << p.panels->panel(2).linkToolTip().toStdString();

    Panels one(1);
    ProtectionWindow* alone = one.panels->panel(1).OpenProtectionWindow();
    EXPECT_EQ(alone->windowTitle(), "Protection");
    EXPECT_TRUE(alone->tripAll->isHidden());
    EXPECT_TRUE(one.panels->panel(1).linkToolTip().startsWith("COM2"));
}

} // namespace
} // namespace velmora::test
