#pragma once
// What the soak holds the panel to, as plain functions over the bytes the
// unit received and the lines the recorder wrote.

#include "e2e/driver.h"

#include <QByteArray>
#include <QDateTime>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace velmora::soak {

/// The bytes of one "rx 30 31 0d" line of the simulated unit; nothing when
/// the line is not an rx line or a byte is not two hex digits.
inline std::optional<std::string> RxBytes(const std::string& line) {
    if (line.rfind("rx", 0) != 0) return std::nullopt;
    std::string bytes;
    std::size_t at = 2;
    while (at < line.size()) {
        if (line[at] != ' ' || at + 3 > line.size()) return std::nullopt;
        const std::string hex = line.substr(at + 1, 2);
        char* end = nullptr;
        const long value = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 2) return std::nullopt;
        bytes.push_back(static_cast<char>(value));
        at += 3;
    }
    return bytes;
}

/// What one stream of received bytes held.
struct RxVerdict {
    int commands = 0;
    std::vector<std::string> faults; // the first few, as printable text
};

inline std::string Printable(const std::string& bytes) {
    std::string out;
    for (const char c : bytes)
        out += c == '\r' ? std::string("\\r") : std::string(1, c);
    return out;
}

/// A set-point command is three digits, CR, three digits, CR, and the line
/// carries nothing else. `mayEndCut`: the line was pulled away, so the last
/// command may have lost its tail (what did arrive must still be right).
inline RxVerdict CheckRxStream(const std::string& bytes, bool mayEndCut) {
    RxVerdict verdict;
    const auto right = [](const std::string& piece) {
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const bool cr = i == 3 || i == 7;
            if (cr ? piece[i] != '\r' : (piece[i] < '0' || piece[i] > '9')) return false;
        }
        return true;
    };
    for (std::size_t at = 0; at < bytes.size(); at += 8) {
        const std::string piece = bytes.substr(at, 8);
        const bool whole = piece.size() == 8;
        if (right(piece) && (whole || mayEndCut)) {
            if (whole) ++verdict.commands;
            continue;
        }
        if (verdict.faults.size() < 5)
            verdict.faults.push_back("at byte " + std::to_string(at) + ": \"" + Printable(piece) +
                                     "\"");
    }
    return verdict;
}

/// Whether the unit could have shown this pair: it drives a 10 ohm load, so
/// the current in 10 mA counts equals the voltage in 100 mV counts, give or
/// take the one-count flicker of each read-out. Texts like "05.3V", "0.53A".
inline bool PlausibleReading(const QByteArray& voltage, const QByteArray& current) {
    if (voltage.size() != 5 || current.size() != 5) return false;
    const int volts = (voltage[0] - '0') * 100 + (voltage[1] - '0') * 10 + (voltage[3] - '0');
    const int amps = (current[0] - '0') * 100 + (current[2] - '0') * 10 + (current[3] - '0');
    return std::abs(volts - amps) <= 2 && volts <= 202;
}

/// A stamp as a sortable text: a stamp at midnight carries the date alone.
inline QByteArray SortableStamp(const QByteArray& stamp) {
    return stamp.size() == 10 ? stamp + " 00:00:00" : stamp;
}

/// What is wrong with the record lines in order, in the words of a user; empty when nothing is.
inline std::vector<std::string> RecordFaults(const std::vector<e2e::RecordLine>& lines) {
    std::vector<std::string> faults;
    const auto add = [&](std::size_t i, const std::string& what) {
        if (faults.size() < 8) faults.push_back("line " + std::to_string(i + 1) + ": " + what);
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& l = lines[i];
        const bool garbled = l.voltage.contains('?') || l.current.contains('?');
        if (!garbled && !PlausibleReading(l.voltage, l.current))
            add(i, "the unit cannot show " + l.voltage.toStdString() + " with " +
                       l.current.toStdString());
        if (i == 0) continue;
        const auto& p = lines[i - 1];
        if (SortableStamp(l.stamp) < SortableStamp(p.stamp))
            add(i, "stamped " + l.stamp.toStdString() + ", before the line above");
        if (l.voltage == p.voltage && l.current == p.current)
            add(i, "the same values as the line above");
    }
    return faults;
}

/// Record k of the control file: the values change from record to record.
struct ControlRecord {
    QDateTime at;
    QByteArray line;   // as the recorder writes it, with CR LF
    QByteArray fields; // the command the unit must get on the 1A/20V model
};

inline ControlRecord MakeControlRecord(const QDateTime& at, int k) {
    const int tens = 1 + k % 8, tenths = 1 + k % 9;
    const int amps = (1 + (k / 3) % 9) * 10 + 1 + k % 7; // 11..97, never a multiple of 10
    const QByteArray voltage =
        "0" + QByteArray::number(tens) + "." + QByteArray::number(tenths) + "V";
    const QByteArray current = "0." + QByteArray::number(amps).rightJustified(2, '0') + "A";
    ControlRecord r;
    r.at = at;
    r.line = "#" + at.toString("yyyy-MM-dd hh:mm:ss").toLatin1() + "#,\"" + voltage + "\",\"" +
             current + "\"\r\n";
    r.fields = "0" + QByteArray::number(tens) + QByteArray::number(tenths) + " " +
               QByteArray::number(amps * 2).rightJustified(3, '0');
    return r;
}

/// The indexes in `expected` that `seen` matches in order; nothing when a
/// seen command is not the next of the expected ones still to come.
inline std::optional<std::vector<std::size_t>>
MatchInOrder(const std::vector<QByteArray>& seen, const std::vector<QByteArray>& expected) {
    std::vector<std::size_t> at;
    std::size_t next = 0;
    for (const QByteArray& s : seen) {
        while (next < expected.size() && expected[next] != s)
            ++next;
        if (next == expected.size()) return std::nullopt;
        at.push_back(next++);
    }
    return at;
}

} // namespace velmora::soak
