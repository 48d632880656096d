#pragma once
// The real panel and a simulated unit that can be pulled away and brought
// back on the same link, with everything the unit received kept per run.

#include "e2e/session.h"
#include "soak/soak_checks.h"
#include "soak/soak_frames.h"

#include <QFileInfo>
#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace velmora::soak {

using e2e::Clock;
using namespace std::chrono_literals;

/// One run of the simulated unit and what it reported.
struct UnitRun {
    std::string options;
    QString framesLog;       // every frame it put on the line, in order
    std::string rx;          // every byte received, in order
    bool pulledAway = false; // ended while commands may have been on the line
    int commands = 0;
    std::vector<std::string> skipped;
};

/// A command as the unit reported it, with when the soak read it.
struct SeenCommand {
    QByteArray fields; // "030 100"
    Clock::time_point at;
};

/// Resident memory of process `pid` in KiB (VmRSS); -1 when unreadable.
inline long ResidentKiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

/// Processor time (user + system) process `pid` has used, in seconds.
inline double CpuSeconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    // After the name: state is field 3, utime 14 and stime 15.
    for (int i = 3; i < 14; ++i)
        rest >> field;
    long long utime = 0, stime = 0;
    rest >> utime >> stime;
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

/// The panel (in its private folder, as in the end-to-end tests) and a unit
/// that comes and goes, with everything it reported kept per run.
class SoakRig : public e2e::PanelRun {
  public:
    ~SoakRig() { killPanel(); }

    std::vector<UnitRun>& runs() { return runs_; }
    const std::vector<SeenCommand>& commands() const { return commands_; }
    bool unitPresent() const { return sim_ != nullptr; }

    /// Starts a unit at line speed with a flickering read-out, plus `faults`.
    bool startUnit(const std::vector<std::string>& faults) {
        std::vector<std::string> args{"--rate", "80",           "--noise", "--settle",
                                      "0.05",   "--echo-bytes", "--link",  link().toStdString()};
        args.insert(args.end(), faults.begin(), faults.end());
        UnitRun run;
        run.framesLog = path(QStringLiteral("frames-%1.log").arg(runs_.size() + 1));
        args.insert(args.end(), {"--frames-log", run.framesLog.toStdString()});
        for (const auto& f : faults)
            run.options += (run.options.empty() ? "" : " ") + f;
        runs_.push_back(run);
        sim_ = std::make_unique<test::SimProcess>(args);
        return !sim_->devicePath().empty() && QFileInfo(link()).isSymLink();
    }

    /// SIGTERM to the unit: its link goes, and the panel's line with it.
    bool pullUnit(bool commandsMayBeOnTheLine) {
        if (!sim_) return false;
        sim_->signal(SIGTERM);
        const int status = sim_->waitForExit(3s);
        while (const auto line = sim_->readLine(50ms))
            take(*line);
        sim_.reset();
        runs_.back().pulledAway = commandsMayBeOnTheLine;
        return status == 0 && !QFileInfo::exists(link()) && !QFileInfo(link()).isSymLink();
    }

    /// Reads what the unit reports for `d`, keeping the time each line came.
    void pump(std::chrono::milliseconds d) {
        const auto deadline = Clock::now() + d;
        while (Clock::now() < deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (!sim_) {
                e2e::Pause(std::min(left, std::chrono::milliseconds(50)));
                continue;
            }
            if (const auto line = sim_->readLine(std::max(left, std::chrono::milliseconds(1))))
                take(*line);
            else
                e2e::Pause(10ms); // the unit has ended: its pipe reads empty at once
        }
    }

    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!done()) {
            if (Clock::now() >= deadline) return false;
            pump(20ms);
        }
        return true;
    }

    void writeControlFile(const std::vector<ControlRecord>& records) {
        QByteArray bytes;
        for (const auto& r : records)
            bytes += r.line;
        e2e::WriteFile(controlFile(), bytes);
    }

    // Option1(1) of the settings window, inside its port frame.
    bool chooseCom2() { return e2e::Click(settingsWindow(), 152, 72); }

    qint64 recordSize() const { return QFileInfo(recordFile()).size(); }

  private:
    void take(const std::string& line) {
        UnitRun& run = runs_.back();
        if (const auto bytes = RxBytes(line)) {
            run.rx += *bytes;
        } else if (line.rfind("command ", 0) == 0) {
            ++run.commands;
            commands_.push_back({e2e::CommandFields(line), Clock::now()});
        } else if (line.rfind("skipped", 0) == 0) {
            run.skipped.push_back(line);
        }
    }

    std::unique_ptr<test::SimProcess> sim_;
    std::vector<UnitRun> runs_;
    std::vector<SeenCommand> commands_;
};

} // namespace velmora::soak
