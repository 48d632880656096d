#pragma once
// The two ways velmora runs: the panel with its windows, and a bench with no
// window at all. Both take the command line already read.

#include "core/command_line.h"

namespace velmora {

/// No display, no Qt Gui or Widgets: the session, remote control and one
/// line per event on standard error, until SIGTERM, SIGINT or SIGHUP.
int RunHeadless(int argc, char* argv[], const CommandLine& line);

} // namespace velmora

/// The panel, in a module of its own so that a headless run never loads Qt
/// Gui or Widgets; found beside the program and called by name.
/// The arguments are those of --remote, --mqtt and --metrics (empty when
/// not given), already found readable.
extern "C" int velmora_run_panel(int argc, char* argv[], const char* remoteArgument,
                                 const char* mqttArgument, const char* metricsArgument,
                                 const char* programBuild);
/// The build the panel's module belongs to; the program runs only its own.
extern "C" const char* velmora_panel_build();
