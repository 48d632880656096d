#include "panel/setpoint_actions.h"

#include "core/constants.h"
#include "core/message.h"
#include "core/state.h"
#include "link/command.h"
#include "panel/form1.h"
#include "panel/setpoint_dialog.h"
#include "settings/start_stop.h"

#include <QAction>
#include <QMenu>

namespace velmora {

void AddSetpointActions(QMenu& menu, Form1& form) {
    menu.addAction(QStringLiteral("Set values…"), &form, &Form1::OpenSetpointDialog);
    menu.addAction(form.zeroOutputAction());
}

void SendTypedSetpoints(qint16 voltageMv, qint16 currentMa) {
    const Model model = CurrentModel();
    if (model == Model::None) {
        ShowMessage(QString(kMsgVersionIsNotDefined), QString(kErrorTitle));
        return;
    }
    Shared.VoltageSetpoint = voltageMv;
    Shared.CurrentSetpoint = currentMa;
    SendCommand(BuildSetpointCommand(model, voltageMv, currentMa));
}

SetpointDialog* Form1::setpointDialog() const {
    return setpointDialog_;
}

void Form1::OpenSetpointDialog() {
    if (!setpointDialog_) setpointDialog_ = new SetpointDialog(this);
    if (!setpointDialog_->isVisible()) {
        setpointDialog_->refresh();
        setpointDialog_->show();
    }
    setpointDialog_->raise();
    setpointDialog_->activateWindow();
}

// This may run inside any wait: a held button's, a playback's, a command's.
// Whatever it interrupts builds nothing from the old set-points afterwards:
// a hold ends at its next check without another step, and a release or a
// dialog that sends later sends the set-points as they are then, zero.
void Form1::ZeroOutput() {
    EndPlayback();
    DropWaitingCommands();
    Shared.ButtonHeld = false;
    Shared.VoltageSetpoint = 0;
    Shared.CurrentSetpoint = 0;
    Label1.setVisible(true);
    Label2.setVisible(true);
    Label16.setVisible(false);
    // The same eight characters on both models: they go out with no model too.
    SendCommand(QByteArray(kZeroCommand));
}

} // namespace velmora
