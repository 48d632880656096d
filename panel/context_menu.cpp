#include "panel/context_menu.h"

#include "panel/form1.h"
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
}

} // namespace velmora
