#include "panel/setpoint_actions.h"

#include "panel/form1.h"
#include "panel/setpoint_dialog.h"
#include "ui/show_in_front.h"

#include <QAction>
#include <QMenu>

namespace velmora {

void AddSetpointActions(QMenu& menu, Form1& form) {
    menu.addAction(QStringLiteral("Set values…"), &form, &Form1::OpenSetpointDialog);
    menu.addAction(form.zeroOutputAction());
}

SetpointDialog* Form1::setpointDialog() const {
    return setpointDialog_;
}

void Form1::OpenSetpointDialog() {
    if (!setpointDialog_) setpointDialog_ = new SetpointDialog(session_, this);
    if (!setpointDialog_->isVisible()) setpointDialog_->refresh();
    ShowInFront(setpointDialog_.data());
}

} // namespace velmora
