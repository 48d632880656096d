#include "panel/context_menu.h"

#include "panel/bench_panels.h"
#include "panel/form1.h"
#include "session/session.h"
#include "panel/setpoint_actions.h"

#include <QMenu>

namespace velmora {

void FillPanelContextMenu(QMenu& menu, Form1& form) {
    menu.addAction(QStringLiteral("Settings…"), &form, [&form] { form.Label15_Click(); });
    menu.addAction(QStringLiteral("Plot…"), &form, [&form] { form.OpenPlotWindow(); });
    AddSetpointActions(menu, form);
    if (form.remote())
        menu.addAction(QStringLiteral("Remote control…"), &form,
                       [&form] { form.OpenRemoteWindow(); });
    menu.addAction(QStringLiteral("Protection…"), &form, [&form] { form.OpenProtectionWindow(); });
    menu.addAction(QStringLiteral("Runs…"), &form, [&form] { form.OpenRunsWindow(); });
    if (BenchPanels* bench = form.bench()) {
        menu.addAction(QStringLiteral("Bench…"), &form, [bench] { bench->OpenBenchWindow(); });
        menu.addAction(QStringLiteral("Add unit…"), &form, [bench] { bench->OpenAddUnitDialog(); });
        if (const int number = form.session().number(); number > 1)
            menu.addAction(QStringLiteral("Remove this unit"), &form,
                           [bench, number] { bench->removeUnit(number); });
        if (bench->hasMqtt())
            menu.addAction(QStringLiteral("MQTT…"), &form, [bench] { bench->OpenMqttWindow(); });
    }
}

} // namespace velmora
