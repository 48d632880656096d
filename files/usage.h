#pragma once
// What velmora-files --help prints: the commands, their options and the exit
// statuses, the last as the manual page gives them.

namespace velmora {

inline constexpr const char* kUsage =
    "usage: velmora-files COMMAND ...\n"
    "  check CTL [--model 1A/20V|2,5A/25V] [--now \"YYYY-MM-DD HH:MM:SS\"]\n"
    "      what the player would do with each record of a control file\n"
    "  check RUN.run [--model 1A/20V|2,5A/25V]\n"
    "      a run file's check: each problem with its line and column, the verdict\n"
    "      and the worst-case duration\n"
    "  retime REC --start \"YYYY-MM-DD HH:MM:SS\" | --in SECONDS [-o OUT]\n"
    "      the file with its first record due then, the spacing kept\n"
    "  plan LIST --start \"YYYY-MM-DD HH:MM:SS\" | --in SECONDS [--repeat N] [-o OUT]\n"
    "      a control file from a list of steps: volts amperes seconds (5.0 0.40 10)\n"
    "  csv REC [-o OUT]\n"
    "      the record file as CSV: time,voltage_V,current_A,power_W\n"
    "  png REC -o OUT.png [--size WIDTHxHEIGHT]    (default 1200x400)\n"
    "  svg REC -o OUT.svg [--size WIDTHxHEIGHT]\n"
    "      the plot window's picture of the record file, made without a display\n"
    "  report DIR [--size WIDTHxHEIGHT]    (default 1200x400, 1200x800 with sweeps)\n"
    "      a run report folder's plot.svg and plot.png, from its CSV files\n"
    "  -o OUT is written whole or not at all, and may not be the input file\n"
    "exit status:\n"
    "  0  done: the output is written; for check, every record would be sent,\n"
    "     or the run file passes its check\n"
    "  1  for check, some records would be skipped, or the run file has\n"
    "     problems; for retime, no line of the file is a record; for plan, the\n"
    "     list is refused\n"
    "  2  bad arguments, a file that cannot be read, an output that cannot be\n"
    "     written (a file is then left as it was), or records that retime\n"
    "     cannot move that far\n";

} // namespace velmora
