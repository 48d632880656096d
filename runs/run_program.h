#pragma once
// A run file as read: its steps in file order, with the repeats' beginnings
// and ends among them, every value in whole units of its resolution.

#include <QString>
#include <optional>
#include <vector>

namespace velmora {

/// Where something stands in the run file; both count from 1.
struct Place {
    int line = 0;
    int column = 0;
    friend bool operator==(const Place&, const Place&) = default;
};

/// What a condition looks at.
enum class Observed {
    Current,         // mA
    Voltage,         // mV
    Power,           // mW
    Charge,          // uAh, counted from the step's start
    Energy,          // uWh, counted from the step's start
    Time,            // ms since the step's command went out
    ConstantCurrent, // the regulation the session inferred
    ConstantVoltage,
};

/// One condition of an `until`: true or false on each readable frame.
struct RunCondition {
    Observed measure = Observed::Current;
    bool above = false; // `>`; `<` otherwise (CC and CV compare nothing)
    qint64 value = 0;   // in the measure's unit above
    Place place;
    /// As the run shows it: "I < 0.05 A", "time > 30 s", "CV".
    QString text() const;
    friend bool operator==(const RunCondition&, const RunCondition&) = default;
};

enum class StepKind {
    Hold,   // set V I for a duration
    Until,  // set V I until a condition holds, or its timeout passes
    Rest,   // 0 V 0 A for a duration
    Sweep,  // one set-point stepped from..to, the other fixed
    Repeat, // the start of a repeated block
    End,    // its end
};

/// One line of the run file that does something.
struct RunStep {
    StepKind kind = StepKind::Hold;
    Place place;  // of the step's keyword
    QString text; // the line as written, without comment and outer blanks
    // Hold, Until; for a sweep the fixed set-point of the two.
    int millivolts = 0;
    int milliamps = 0;
    Place setpointPlace;                  // of the first set-point's number
    qint64 durationMs = 0;                // Hold, Rest; the dwell of each point of a sweep
    std::vector<RunCondition> conditions; // Until, joined by `or`
    std::optional<qint64> timeoutMs;      // Until: the run's default when absent
    bool sweepsVoltage = true;            // Sweep: V or I
    int from = 0, to = 0, increment = 0;  // Sweep: mV or mA; the increment above 0
    int count = 0;                        // Repeat: how many times
    int partner = 0;                      // Repeat: the index of its End; End: of its Repeat
};

/// The whole file: steps in file order.
struct RunProgram {
    std::vector<RunStep> steps;
};

/// Whether the engine can run it: at least one step, every repeat matched
/// with its end and holding a step.
bool Runnable(const RunProgram& program);

/// The set-points a sweep goes through, from and to included, in order.
std::vector<int> SweepPoints(const RunStep& sweep);

/// The set-points a sweep's point `value` asks for: {mV, mA}.
std::pair<int, int> SweepSetpoints(const RunStep& sweep, int value);

} // namespace velmora
