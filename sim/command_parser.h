#pragma once

#include <optional>
#include <string>

#include "sim/unit_model.h"

namespace velmora::sim {

// The two three-digit fields of a set-point command, as sent.
struct Command {
    int voltageCode = 0;
    int currentCode = 0;
};

// What the parser makes of the bytes up to a command's end.
struct ParseEvent {
    bool obeyed = false; // false: the command was garbled and is skipped
    Command command;     // valid only when obeyed
    std::string raw;     // the bytes of the command as received
    std::string reason;  // why it was skipped
};

// Reads set-point commands ("DDD\rDDD\r") one byte at a time and skips garbled ones.
//
// A garbled field spoils its whole command, but the parser keeps counting
// carriage returns so that it stays in step with the PC: after "03X\r100\r"
// the next "030\r100\r" is read as a fresh command, not as its second half.
class CommandParser {
  public:
    // Takes one received byte; returns an event when it ends a command.
    std::optional<ParseEvent> feed(char byte);

    // The line has been quiet for a long time: a half-received command will
    // never be completed, so it is dropped and the next byte starts afresh.
    std::optional<ParseEvent> lineIdle();

    bool midCommand() const { return !raw_.empty(); }

  private:
    void noteFault(std::string reason);
    std::optional<ParseEvent> endField();
    void reset();

    std::string raw_;
    std::string digits_;
    std::string fault_;
    int field_ = 0;
    int voltageCode_ = 0;
};

// The set-point a command asks for on the given model.
struct SetPoint {
    double volts = 0.0;
    double amps = 0.0;
};
SetPoint toSetPoint(const Command& command, const UnitModel& model);

// Shows bytes readably in reports: CR as \r, other controls as \xNN.
std::string escapeBytes(const std::string& bytes);

} // namespace velmora::sim
