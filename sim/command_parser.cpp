#include "sim/command_parser.h"

#include <cstdio>

namespace velmora::sim {

namespace {

constexpr char kFieldEnd = '\r';
constexpr std::size_t kFieldDigits = 3;
// A stream of garbage without any CR must not grow the buffers without bound;
// what is kept is only for the report.
constexpr std::size_t kKeepRaw = 64;

const char* fieldName(int field) {
    return field == 0 ? "voltage" : "current";
}

} // namespace

std::optional<ParseEvent> CommandParser::feed(char byte) {
    if (raw_.size() < kKeepRaw) raw_ += byte;
    if (byte == kFieldEnd) return endField();
    if (byte >= '0' && byte <= '9') {
        if (digits_.size() <= kFieldDigits) digits_ += byte;
        return std::nullopt;
    }
    noteFault(std::string("non-digit ") + escapeBytes(std::string(1, byte)) + " in " +
              fieldName(field_) + " field");
    return std::nullopt;
}

std::optional<ParseEvent> CommandParser::lineIdle() {
    if (!midCommand()) return std::nullopt;
    ParseEvent event{false, {}, raw_, "incomplete, line went quiet"};
    reset();
    return event;
}

void CommandParser::noteFault(std::string reason) {
    if (fault_.empty()) fault_ = std::move(reason);
}

std::optional<ParseEvent> CommandParser::endField() {
    if (digits_.size() != kFieldDigits) {
        noteFault(std::string(fieldName(field_)) + " field has " +
                  (digits_.size() > kFieldDigits ? "more than 3" : std::to_string(digits_.size())) +
                  " digits");
    }
    const int code = fault_.empty() ? std::stoi(digits_) : 0;
    digits_.clear();
    if (field_ == 0) {
        voltageCode_ = code;
        field_ = 1;
        return std::nullopt;
    }
    ParseEvent event{fault_.empty(), Command{voltageCode_, code}, raw_, fault_};
    reset();
    return event;
}

void CommandParser::reset() {
    raw_.clear();
    digits_.clear();
    fault_.clear();
    field_ = 0;
    voltageCode_ = 0;
}

SetPoint toSetPoint(const Command& command, const UnitModel& model) {
    return SetPoint{command.voltageCode * kVoltsPerStep, command.currentCode * model.ampsPerStep};
}

std::string escapeBytes(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace velmora::sim
