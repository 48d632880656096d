#include "session/setpoint_source.h"

namespace velmora {

QString SourceName(SetpointSource source) {
    switch (source) {
    case SetpointSource::Buttons:
        return QStringLiteral("the buttons");
    case SetpointSource::SetValues:
        return QStringLiteral("Set values");
    case SetpointSource::Playback:
        return QStringLiteral("the control file");
    case SetpointSource::Run:
        return QStringLiteral("the run");
    case SetpointSource::Remote:
        return QStringLiteral("remote control");
    case SetpointSource::Broker:
        return QStringLiteral("the MQTT broker");
    case SetpointSource::LimitLowered:
        return QStringLiteral("a lowered limit");
    case SetpointSource::ModelChosen:
        return QStringLiteral("the model chosen");
    case SetpointSource::LinkBack:
        return QStringLiteral("the line coming back");
    case SetpointSource::Coupled:
        return QStringLiteral("a coupled unit");
    case SetpointSource::ZeroOutput:
        return QStringLiteral("Zero output");
    case SetpointSource::Trip:
        return QStringLiteral("a protection trip");
    case SetpointSource::OffTimer:
        return QStringLiteral("the off-timer");
    case SetpointSource::Watchdog:
        return QStringLiteral("a watchdog");
    case SetpointSource::AllOutputsOff:
        return QStringLiteral("All outputs off");
    }
    return {};
}

} // namespace velmora
