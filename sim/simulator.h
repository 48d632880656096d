#pragma once

#include <ctime>
#include <random>
#include <string>

#include "sim/command_parser.h"
#include "sim/frame_log.h"
#include "sim/options.h"
#include "sim/pty_device.h"
#include "sim/supply_model.h"
#include "sim/transmitter.h"

namespace velmora::sim {

// Plays the unit on an open device until a stop signal arrives on `signalFd`.
class Simulator {
  public:
    Simulator(const Options& options, PtyDevice& device, int signalFd, FrameLog& framesLog);

    void run();

  private:
    double now() const;
    void advanceModel(double now);
    timespec pollTimeout(double now) const;
    bool handleSignals();
    void receive(double now);
    void report(const ParseEvent& event);
    // A line on stdout about what happened at `at` (seconds since the start).
    void print(const std::string& line, double at) const;
    void transmit(double now);
    void writeStatusFile(double now);
    std::string statusLine() const;
    Reading shown();

    const Options& options_;
    PtyDevice& device_;
    FrameLog& framesLog_;
    int signalFd_;
    double start_;
    SupplyModel model_;
    Transmitter transmitter_;
    CommandParser parser_;
    double lastByteAt_ = 0.0;
    double commandStartAt_ = 0.0; // when the command being received began
    double modelAt_ = 0.0;
    std::size_t nextLoadStep_ = 0;
    double statusAt_ = 0.0;
    std::mt19937 random_{std::random_device{}()};
};

} // namespace velmora::sim
