#pragma once
// The phases of one soak: a unit at line speed, then spoilt, split and
// run-together frames, then the line pulled away and brought back, with the
// recorder and the player running all through and presses now and then.

#include "soak/soak_presses.h"

#include <algorithm>

namespace velmora::soak {

/// One stretch of the soak with the unit behaving one way.
struct PhasePlan {
    const char* name;
    std::vector<std::string> faults; // options of the simulated unit
    double share;                    // of the soak's seconds
    bool framesCome;                 // whether good single frames reach the panel
};

/// A stretch in which only whole, good frames came: every change in them
/// must be in the record file. `run` is the unit's run (index in runs()).
struct FrameWindow {
    std::string phase;
    std::size_t run;
    Clock::time_point from, until;
};

// Just after the port is chosen again, and just before the recorder or the
// unit stops, a frame may fall between the two: those moments are not judged.
constexpr auto kWindowMargin = 500ms;

struct PhaseFigures {
    std::string name;
    double seconds = 0;
    long long lines = 0;
    int presses = 0;
};

/// Everything one soak run keeps and finds.
struct Soak {
    SoakRig rig;
    Adjuster adjuster;
    PressFigures presses;
    std::vector<PhaseFigures> phases;
    std::vector<FrameWindow> frameWindows;
    std::vector<ControlRecord> control;
    // Stretches in which the panel had its line: every playback record due
    // well inside one must reach the unit.
    std::vector<std::pair<Clock::time_point, Clock::time_point>> connected;
    Clock::time_point connectedFrom;
    std::vector<std::string> faults;
    std::size_t nextPress = 0;
    long rssStart = -1, rssWarm = -1, rssEnd = -1, rssPeak = -1;
    double goneCpuPercent = -1;
    double soakCpuPercent = -1;
};

inline long long RecordLines(const SoakRig& rig) {
    return rig.record().count('\n');
}

inline double SecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

inline bool PanelAlive(Soak& s, const std::string& when) {
    if (s.rig.panelRunning()) return true;
    s.faults.push_back("the panel ended " + when +
                       "; its errors: " + s.rig.panelErrors().toStdString());
    return false;
}

/// Presses a button every couple of seconds until `until`; the unit's
/// frames must reach the record file meanwhile when `framesCome`.
inline bool RunPhase(Soak& s, const std::string& name, Clock::time_point until, bool framesCome) {
    PhaseFigures figures{name};
    const auto start = Clock::now();
    const long long linesBefore = RecordLines(s.rig);
    while (Clock::now() < until) {
        PressAndCheck(s.rig, s.adjuster, kPressCycle[s.nextPress++ % kPressCycle.size()], name,
                      s.presses);
        ++figures.presses;
        s.rssPeak = std::max(s.rssPeak, ResidentKiB(s.rig.panelPid()));
        if (!PanelAlive(s, "during " + name)) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        s.rig.pump(std::clamp(left, std::chrono::milliseconds(0), std::chrono::milliseconds(1200)));
    }
    figures.seconds = SecondsBetween(start, Clock::now());
    figures.lines = RecordLines(s.rig) - linesBefore;
    const bool wholeFrames =
        framesCome && s.rig.unitPresent() && s.rig.runs().back().options.empty();
    if (wholeFrames)
        s.frameWindows.push_back(
            {name, s.rig.runs().size() - 1, start + kWindowMargin, Clock::now() - kWindowMargin});
    if (framesCome && figures.lines == 0) s.faults.push_back(name + ": nothing recorded");
    s.phases.push_back(figures);
    return true;
}

/// Pulls the unit away and brings it back with `faults`; choosing COM2 in
/// the settings window gives the panel its line again.
inline bool Reconnect(Soak& s, const std::string& name, const std::vector<std::string>& faults,
                      bool framesCome) {
    if (s.rig.unitPresent()) {
        s.connected.emplace_back(s.connectedFrom, Clock::now());
        if (!s.rig.pullUnit(true))
            s.faults.push_back(name + ": the unit did not end cleanly or left its link");
    }
    if (!s.rig.startUnit(faults)) {
        s.faults.push_back(name + ": the simulated unit did not start");
        return false;
    }
    const qint64 size = s.rig.recordSize();
    if (!s.rig.chooseCom2()) s.faults.push_back(name + ": xdotool could not click COM2");
    s.connectedFrom = Clock::now();
    if (framesCome && !s.rig.pumpUntil([&] { return s.rig.recordSize() > size; }, 3s))
        s.faults.push_back(name + ": no new record line within 3 s of choosing COM2 again");
    return PanelAlive(s, "when COM2 was chosen again for " + name);
}

/// The line gone: the panel must neither end nor spin; a press meanwhile
/// reaches nothing and must not hang it.
inline bool LineGone(Soak& s) {
    PhaseFigures figures{"line gone"};
    const auto start = Clock::now();
    s.connected.emplace_back(s.connectedFrom, Clock::now());
    if (!s.rig.pullUnit(true))
        s.faults.push_back("line gone: the unit did not end cleanly or left its link");
    s.rig.pump(1s);
    const qint64 pid = s.rig.panelPid();
    const double cpu0 = CpuSeconds(pid);
    const auto t0 = Clock::now();
    s.rig.pump(4s);
    s.goneCpuPercent = 100.0 * (CpuSeconds(pid) - cpu0) / SecondsBetween(t0, Clock::now());
    if (s.goneCpuPercent >= 10.0)
        s.faults.push_back("line gone: the panel used " + std::to_string(s.goneCpuPercent) +
                           " % of a core");
    if (!PanelAlive(s, "when its line went away")) return false;

    const auto [x, y] = ButtonCentre(5);
    e2e::Press(s.rig.window(), x, y);
    s.rig.pump(80ms);
    e2e::Release();
    ++figures.presses;
    // A playback record after the press is the command that goes out when
    // the line comes back.
    s.rig.pump(std::chrono::seconds(kRecordSpacingS) + 500ms);
    figures.seconds = SecondsBetween(start, Clock::now());
    s.phases.push_back(figures);
    return PanelAlive(s, "after a press with its line gone");
}

} // namespace velmora::soak
