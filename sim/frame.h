#pragma once

#include <cstddef>
#include <string>

namespace velmora::sim {

// The unit fills every position of a measurement frame that carries no digit
// and no lead letter with this character; the PC never looks at them.
inline constexpr char kFrameFiller = ' ';
inline constexpr char kFrameLead = 'D';
inline constexpr std::size_t kFrameLength = 12;

// Zero-based offsets of the characters the PC examines.
inline constexpr std::size_t kVoltsTensAt = 2;
inline constexpr std::size_t kVoltsUnitsAt = 3;
inline constexpr std::size_t kAmpsUnitsAt = 7;

// Builds the 12-character frame for one reading, clamped to 00.0..99.9 V and
// 0.00..9.99 A and rounded to the digits the unit shows.
std::string formatFrame(double volts, double amps);

// Ways a frame is spoilt on the line so that the PC must reject it.
enum class Garble {
    BadLead,  // the lead "D" arrives as "X"
    BadDigit, // the voltage units digit arrives as "?"
};

// Returns the frame spoilt the given way.
std::string garbleFrame(std::string frame, Garble how);

} // namespace velmora::sim
