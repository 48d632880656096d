#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/cell_model.h"
#include "sim/transmitter.h"
#include "sim/unit_model.h"

namespace velmora::sim {

// The load on the output becomes `ohms` at `atSeconds` after the start.
struct LoadStep {
    double atSeconds = 0.0;
    double ohms = 0.0;
};

// Everything the user chooses on velmora-sim's command line.
struct Options {
    UnitModel model = defaultModel();
    TransmitPlan plan;
    double loadOhms = 10.0;
    std::vector<LoadStep> loadSteps; // in time order
    std::optional<CellRating> cell;  // in place of the load
    double settleSeconds = 0.3;
    bool noise = false;
    std::string linkPath;      // empty: no link
    std::string statusPath;    // empty: no status file
    std::string framesLogPath; // empty: no frames log
    bool echoBytes = false;
    bool stamp = false; // stdout lines after the device path start with a stamp
    bool help = false;
};

// The options, or why the command line is wrong.
struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line is good
};

// Reads the arguments after the program name; both "--rate 10" and
// "--rate=10" are understood.
ParsedOptions parseOptions(const std::vector<std::string>& args);

std::string helpText();

} // namespace velmora::sim
