#include "panel/adjust.h"

#include "core/constants.h"
#include "core/limits.h"
#include "core/message.h"
#include "core/state.h"
#include "core/wait.h"
#include "link/command.h"
#include "panel/form1.h"

#include <array>

namespace velmora {

AdjustStep StepOfButton(int number) {
    static constexpr std::array<AdjustStep, 8> kSteps{{{true, 1000},
                                                       {true, -1000},
                                                       {true, 100},
                                                       {true, -100},
                                                       {false, 100},
                                                       {false, -100},
                                                       {false, 10},
                                                       {false, -10}}};
    return kSteps.at(number - 1);
}

qint16 Stepped(qint16 setpoint, int delta, qint16 limit) {
    if (delta > 0)
        return setpoint <= limit - delta ? static_cast<qint16>(setpoint + delta) : setpoint;
    return setpoint >= -delta ? static_cast<qint16>(setpoint + delta) : setpoint;
}

QString SetpointCaption(bool voltage, qint16 setpoint) {
    return voltage ? QStringLiteral("%1mV").arg(setpoint, 5, 10, QChar(u'0'))
                   : QStringLiteral("%1mA").arg(setpoint, 4, 10, QChar(u'0'));
}

// Held down, the button steps at once and then every half second. The release
// runs inside the wait below; it clears the flag, and its own waits end this one.
void Form1::Command_MouseDown(int number) {
    const AdjustStep step = StepOfButton(number);
    Shared.ButtonHeld = true;
    Label1.setVisible(false);
    Label2.setVisible(false);
    Label16.setVisible(true);
    do {
        qint16& setpoint = step.voltage ? Shared.VoltageSetpoint : Shared.CurrentSetpoint;
        // Read at every step: the user may change a limit during the hold.
        const Limits limits = SetpointLimits();
        const qint16 limit = step.voltage ? limits.voltage : limits.current;
        setpoint = Stepped(setpoint, step.delta, limit);
        Label16.setCaption(SetpointCaption(step.voltage, setpoint));
        WaitSeconds(0.5);
    } while (Shared.ButtonHeld);
}

void Form1::Command_MouseUp(int) {
    SendSetpoints();
}

void Form1::SendSetpoints() {
    Shared.ButtonHeld = false;
    WaitSeconds(0.5);
    Label1.setVisible(true);
    Label2.setVisible(true);
    Label16.setVisible(false);
    const Model model = CurrentModel();
    if (model == Model::None) {
        ShowMessage(QString(kMsgVersionIsNotDefined), QString(kErrorTitle));
        return;
    }
    SendCommand(BuildSetpointCommand(model, Shared.VoltageSetpoint, Shared.CurrentSetpoint));
}

} // namespace velmora
