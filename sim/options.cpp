#include "sim/options.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace velmora::sim {

namespace {

std::optional<double> toNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Parses a number within [low, high]; the error says what was wanted.
std::string number(const std::string& text, double low, double high, double& out) {
    const auto value = toNumber(text);
    if (!value || *value < low || *value > high) {
        char range[64];
        std::snprintf(range, sizeof range, "needs a number from %g to %g", low, high);
        return range + std::string(", not '") + text + "'";
    }
    out = *value;
    return {};
}

std::string positive(const std::string& text, double high, double& out) {
    std::string error = number(text, 0.0, high, out);
    if (error.empty() && out <= 0.0) error = "needs a number above 0, not '" + text + "'";
    return error;
}

// "SECONDS:OHMS", kept in time order; steps at the same time take effect
// in the order given.
std::string loadStep(const std::string& text, std::vector<LoadStep>& steps) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return "needs SECONDS:OHMS, not '" + text + "'";
    LoadStep step;
    std::string error = number(text.substr(0, colon), 0.0, 1e6, step.atSeconds);
    if (error.empty()) error = positive(text.substr(colon + 1), 1e9, step.ohms);
    if (!error.empty()) return "SECONDS:OHMS " + error;
    const auto later =
        std::upper_bound(steps.begin(), steps.end(), step.atSeconds,
                         [](double at, const LoadStep& other) { return at < other.atSeconds; });
    steps.insert(later, step);
    return {};
}

using Setter = std::string (*)(Options&, const std::string&);

struct OptionInfo {
    std::string_view name;
    std::string_view argument; // empty: a flag without a value
    std::string_view help;
    Setter set;
};

const std::array kOptionTable{
    OptionInfo{"--model", "NAME", "unit model: 1A/20V (default) or 2,5A/25V",
               [](Options& o, const std::string& v) -> std::string {
                   const auto model = findModel(v);
                   if (!model)
                       return "knows the models " + std::string(modelNames()) + ", not '" + v + "'";
                   o.model = *model;
                   return {};
               }},
    OptionInfo{"--rate", "N", "measurement frames per second (default 4, up to 1000)",
               [](Options& o, const std::string& v) {
                   return positive(v, 1000.0, o.plan.framesPerSecond);
               }},
    OptionInfo{"--load", "OHMS", "load resistance on the output (default 10)",
               [](Options& o, const std::string& v) { return positive(v, 1e9, o.loadOhms); }},
    OptionInfo{"--load-step", "SECONDS:OHMS",
               "the load becomes OHMS at SECONDS after start (repeatable)",
               [](Options& o, const std::string& v) { return loadStep(v, o.loadSteps); }},
    OptionInfo{"--cell", "MAH:VEMPTY:VFULL:OHMS",
               "a rechargeable cell in place of the load, empty at the start:\n"
               "                      its voltage linear in its charge from VEMPTY to VFULL,\n"
               "                      behind OHMS (2:3.0:4.2:1)",
               [](Options& o, const std::string& v) {
                   std::string error;
                   o.cell = parseCellRating(v, error);
                   return error;
               }},
    OptionInfo{
        "--settle", "SECONDS",
        "time to come within 1% of a new set-point (default 0.3, 0: at once)",
        [](Options& o, const std::string& v) { return number(v, 0.0, 3600.0, o.settleSeconds); }},
    OptionInfo{"--noise", "", "let the read-out flicker by one count of its last digit",
               [](Options& o, const std::string&) {
                   o.noise = true;
                   return std::string();
               }},
    OptionInfo{"--garble", "N",
               "spoil one frame in N: alternately 'X' for the lead 'D'\n"
               "                      and '?' for the voltage units digit",
               [](Options& o, const std::string& v) {
                   double n = 0;
                   std::string error = number(v, 1.0, 1e6, n);
                   if (error.empty() && n != std::floor(n))
                       error = "needs a whole number, not '" + v + "'";
                   o.plan.garbleEvery = static_cast<int>(n);
                   return error;
               }},
    OptionInfo{"--split", "", "send each write in two pieces, 6 characters first, 25 ms apart",
               [](Options& o, const std::string&) {
                   o.plan.split = true;
                   return std::string();
               }},
    OptionInfo{"--pieces", "N",
               "send at the line's full rate, frames without gaps, in pieces\n"
               "                      of N characters (8: a UART's FIFO, 16: a USB adapter)",
               [](Options& o, const std::string& v) {
                   double n = 0;
                   std::string error = number(v, 1.0, 64.0, n);
                   if (error.empty() && n != std::floor(n))
                       error = "needs a whole number, not '" + v + "'";
                   o.plan.pieces = static_cast<int>(n);
                   return error;
               }},
    OptionInfo{"--count", "", "number the frames in the current read-out (0.00 to 9.99 A)",
               [](Options& o, const std::string&) {
                   o.plan.count = true;
                   return std::string();
               }},
    OptionInfo{"--join", "", "send frames in pairs, two frames in one write",
               [](Options& o, const std::string&) {
                   o.plan.join = true;
                   return std::string();
               }},
    OptionInfo{
        "--silent-after", "S", "stop sending frames S seconds after start",
        [](Options& o, const std::string& v) { return number(v, 0.0, 1e6, o.plan.silentAfter); }},
    OptionInfo{"--silent-for", "T",
               "...for T seconds, then send again (default: silent to the end)",
               [](Options& o, const std::string& v) { return positive(v, 1e6, o.plan.silentFor); }},
    OptionInfo{"--mute", "", "send no frames at all (commands are still read and obeyed)",
               [](Options& o, const std::string&) {
                   o.plan.mute = true;
                   return std::string();
               }},
    OptionInfo{"--link", "PATH", "make PATH a symbolic link to the device (replaces a link)",
               [](Options& o, const std::string& v) {
                   o.linkPath = v;
                   return std::string();
               }},
    OptionInfo{"--status", "FILE", "rewrite FILE with the status line at the frame rate",
               [](Options& o, const std::string& v) {
                   o.statusPath = v;
                   return std::string();
               }},
    OptionInfo{"--frames-log", "FILE",
               "append a line per frame gone out on the line: milliseconds\n"
               "                      of the monotonic clock, a space, the 12 characters",
               [](Options& o, const std::string& v) {
                   o.framesLogPath = v;
                   return std::string();
               }},
    OptionInfo{"--echo-bytes", "", "print every chunk of received bytes as 'rx' and hex",
               [](Options& o, const std::string&) {
                   o.echoBytes = true;
                   return std::string();
               }},
    OptionInfo{"--stamp", "",
               "start each line on stdout after the device path with the\n"
               "                      milliseconds of the monotonic clock at what it tells of",
               [](Options& o, const std::string&) {
                   o.stamp = true;
                   return std::string();
               }},
    OptionInfo{"--help", "", "show this text",
               [](Options& o, const std::string&) {
                   o.help = true;
                   return std::string();
               }},
};

const OptionInfo* findOption(std::string_view name) {
    for (const OptionInfo& option : kOptionTable) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

std::string checkCombination(const Options& o, bool silentForGiven) {
    if (silentForGiven && o.plan.silentAfter < 0.0) return "--silent-for needs --silent-after";
    if (o.cell && !o.loadSteps.empty()) return "--cell takes the place of the load: no --load-step";
    return {};
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions result;
    bool silentForGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionInfo* option = findOption(name);
        if (option == nullptr) {
            result.error = "unknown option '" + arg + "' (see --help)";
            return result;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            if (option->argument.empty()) {
                result.error = name + " takes no value";
                return result;
            }
        } else if (!option->argument.empty()) {
            if (i + 1 == args.size()) {
                result.error = name + " needs " + std::string(option->argument);
                return result;
            }
            value = args[++i];
        }
        if (std::string error = option->set(result.options, value); !error.empty()) {
            result.error = name + " " + error;
            return result;
        }
        silentForGiven = silentForGiven || name == "--silent-for";
    }
    result.error = checkCombination(result.options, silentForGiven);
    return result;
}

std::string helpText() {
    std::string text =
        "Usage: velmora-sim [OPTION]...\n"
        "Plays the Velmora power-supply unit on a pseudo-terminal. The first line on\n"
        "stdout is the device path; then one line per command received and per\n"
        "load step:\n"
        "  command 030 100 -> set 3.0 V 0.500 A\n"
        "  skipped \"03X\\r100\\r\": non-digit X in voltage field\n"
        "  load 2 ohms at 1.5 s\n"
        "Runs until SIGINT, SIGTERM or SIGHUP, then removes its link and exits 0.\n\n";
    for (const OptionInfo& option : kOptionTable) {
        std::string left = "  " + std::string(option.name);
        if (!option.argument.empty()) left += " " + std::string(option.argument);
        // A name too long for the column puts its help on the next line.
        if (left.size() >= 22) left += "\n";
        left.resize(left.back() == '\n' ? left.size() + 22 : 22, ' ');
        text += left + std::string(option.help) + "\n";
    }
    text +=
        "\nStatus line (in the --status file, and on stdout on SIGUSR1):\n"
        "  status set 3.0 V 0.500 A shown 03.0 V 0.30 A CV\n"
        "with the set-points, the read-out without noise, and CV or CC; with --cell,\n"
        "then the charge the cell has taken: \"cell 1.918 mAh\".\n"
        "Frames are 12 characters, e.g. \"D 123  045  \", filler a space.\n"
        "With --stamp, each line on stdout after the device path starts with milliseconds\n"
        "of CLOCK_MONOTONIC, as the frames log's do: a command's (obeyed or skipped) when\n"
        "its first character came, a load step's at its time, any other when printed:\n"
        "  8123386 command 030 100 -> set 3.0 V 0.500 A\n"
        "Frames log lines, stamped in milliseconds of CLOCK_MONOTONIC (not the wall clock):\n"
        "  8123456 D 123  045  \n"
        "  8124461 dropped 36 unread characters\n"
        "each frame once its last character is out (a joined pair gives two lines);\n"
        "a write the line did not take whole is left out.\n"
        "Exit status: 0 after a signal, 1 when the device cannot be set up, 2 for bad options.\n";
    return text;
}

} // namespace velmora::sim
