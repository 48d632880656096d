#pragma once
// What the unit put on the line (its frames log) against what the recorder
// wrote: every change of the measurement must be a record line, in order,
// with none missing in between.

#include "e2e/driver.h"

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

namespace velmora::soak {

/// A measurement as the recorder writes it ("12.3V", "0.45A"), with the
/// monotonic milliseconds of the frame that carried it.
struct Reading {
    long long atMs = 0;
    QByteArray voltage, current;
    bool operator==(const Reading& o) const { return voltage == o.voltage && current == o.current; }
};

/// A frames log of the simulated unit: its frames in order, and the lines
/// saying that it threw away characters nobody read.
struct FramesLog {
    std::vector<Reading> frames;
    std::vector<long long> droppedAtMs;
    int unreadable = 0;
};

/// "D 123  045  " -> "12.3V", "0.45A", as the panel reads the frame and the
/// recorder puts the points in.
inline Reading ReadingOfFrame(const QByteArray& frame, long long atMs) {
    Reading r;
    r.atMs = atMs;
    r.voltage = frame.mid(2, 2) + '.' + frame.mid(4, 1) + 'V';
    r.current = frame.mid(7, 1) + '.' + frame.mid(8, 2) + 'A';
    return r;
}

inline FramesLog ParseFramesLog(const QByteArray& text) {
    FramesLog log;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        const qsizetype space = line.indexOf(' ');
        bool number = false;
        const long long at = space > 0 ? line.left(space).toLongLong(&number) : 0;
        const QByteArray rest = line.mid(space + 1);
        if (number && rest.startsWith("dropped "))
            log.droppedAtMs.push_back(at);
        else if (number && rest.size() == 12 && rest.startsWith('D'))
            log.frames.push_back(ReadingOfFrame(rest, at));
        else
            ++log.unreadable;
    }
    return log;
}

/// The changes the panel must record between `fromMs` and `untilMs`: each
/// frame there whose measurement differs from the frame before it.
inline std::vector<Reading> ChangesWithin(const std::vector<Reading>& frames, long long fromMs,
                                          long long untilMs) {
    std::vector<Reading> changes;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Reading& f = frames[i];
        if (f.atMs < fromMs || f.atMs > untilMs) continue;
        if (i == 0 || !(f == frames[i - 1])) changes.push_back(f);
    }
    return changes;
}

/// Where the changes stand in the record file, or the first one missing.
struct RecordMatch {
    bool found = false;
    std::size_t firstLine = 0; // zero-based
    std::string mismatch;      // when not found: the best try, with context
};

inline std::string RecordText(const e2e::RecordLine& l) {
    return "#" + l.stamp.toStdString() + "# " + l.voltage.toStdString() + " " +
           l.current.toStdString();
}

inline std::string ReadingText(const Reading& r) {
    return r.voltage.toStdString() + " " + r.current.toStdString();
}

/// Finds `changes` as consecutive record lines starting at one of the lines
/// `first`..`last` (the lines stamped around the start of the stretch): time
/// stamps are whole seconds, so the rest is aligned by order.
inline RecordMatch MatchConsecutive(const std::vector<e2e::RecordLine>& lines,
                                    const std::vector<Reading>& changes, std::size_t first,
                                    std::size_t last) {
    RecordMatch result;
    if (changes.empty()) return {true, first, {}};
    const auto same = [&](std::size_t line, std::size_t k) {
        return line < lines.size() && lines[line].voltage == changes[k].voltage &&
               lines[line].current == changes[k].current;
    };
    std::size_t bestStart = 0, bestLength = 0;
    bool any = false;
    for (std::size_t c = first; c <= last && c < lines.size(); ++c) {
        if (!same(c, 0)) continue;
        std::size_t k = 1;
        while (k < changes.size() && same(c + k, k))
            ++k;
        if (k == changes.size()) return {true, c, {}};
        if (!any || k > bestLength) {
            bestStart = c;
            bestLength = k;
        }
        any = true;
    }
    if (!any) {
        result.mismatch = "the first change, " + ReadingText(changes[0]) +
                          ", is in none of record lines " + std::to_string(first + 1) + ".." +
                          std::to_string(std::min(last + 1, lines.size()));
        return result;
    }
    const std::size_t k = bestLength, at = bestStart + k;
    result.mismatch = std::to_string(k) + " of " + std::to_string(changes.size()) +
                      " changes from record line " + std::to_string(bestStart + 1) +
                      " on, then change " + std::to_string(k + 1) + " (" + ReadingText(changes[k]) +
                      ", frame at " + std::to_string(changes[k].atMs) + " ms) is not line " +
                      std::to_string(at + 1) + "\n      changes:";
    for (std::size_t j = k >= 3 ? k - 3 : 0; j < std::min(changes.size(), k + 4); ++j)
        result.mismatch += (j == k ? "  >" : "  ") + ReadingText(changes[j]);
    result.mismatch += "\n      lines:  ";
    for (std::size_t j = at >= 3 ? at - 3 : 0; j < std::min(lines.size(), at + 4); ++j)
        result.mismatch += (j == at ? "  >" : "  ") + RecordText(lines[j]);
    return result;
}

/// The zero-based lines stamped from `from` to `until` ("yyyy-MM-dd hh:mm:ss",
/// a stamp at midnight carrying the date alone): first and last, or nothing.
inline std::optional<std::pair<std::size_t, std::size_t>>
LinesStamped(const std::vector<e2e::RecordLine>& lines, const QByteArray& from,
             const QByteArray& until) {
    std::optional<std::pair<std::size_t, std::size_t>> span;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QByteArray stamp =
            lines[i].stamp.size() == 10 ? lines[i].stamp + " 00:00:00" : lines[i].stamp;
        if (stamp < from || stamp > until) continue;
        if (!span) span.emplace(i, i);
        span->second = i;
    }
    return span;
}

} // namespace velmora::soak
