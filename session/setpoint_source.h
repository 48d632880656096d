#pragma once
// Who asks for set-points: every sender names itself at the session's door,
// so a refusal can say whose request it was and a zeroing knows what it ends.

#include <QString>

namespace velmora {

enum class SetpointSource {
    Buttons,       // the eight adjust buttons, half a second after a release
    SetValues,     // the "Set values" dialog
    Playback,      // a control file's record
    Run,           // a step of a run
    Remote,        // a line of remote control
    Broker,        // a command from the MQTT broker
    LimitLowered,  // a user limit set below the set-point in force
    ModelChosen,   // a model chosen by hand: both set-points 0
    LinkBack,      // the line is back: the unit gets what it missed
    Coupled,       // a set-point sent to a unit coupled with this one
    ZeroOutput,    // "Zero output", OUTP OFF, *RST
    Trip,          // a protection trip
    OffTimer,      // the off-timer ran out
    Watchdog,      // a remote client's watchdog ran out
    AllOutputsOff, // every unit of the bench zeroed at once
};

/// Whether a request from the source zeroes the output as "Zero output" does:
/// it ends a playback or a run and a button hold, and drops the commands
/// waiting, before the zero goes out.
constexpr bool Zeroes(SetpointSource source) {
    switch (source) {
    case SetpointSource::ZeroOutput:
    case SetpointSource::Trip:
    case SetpointSource::OffTimer:
    case SetpointSource::Watchdog:
    case SetpointSource::AllOutputsOff:
        return true;
    default:
        return false;
    }
}

/// "the buttons", "remote control", ...: the source as a user reads it.
QString SourceName(SetpointSource source);

} // namespace velmora
