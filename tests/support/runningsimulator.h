#ifndef RUNNINGSIMULATOR_H
#define RUNNINGSIMULATOR_H

#include "simulator.h"

#include <atomic>
#include <thread>

// The controller simulator serving its line on a thread of its own, for as
// long as this lives.
class RunningSimulator
{
public:
    explicit RunningSimulator(const SimulatorOptions &options) : simulator(options)
    {
        thread = std::thread([this] { simulator.run(stop); });
    }
    ~RunningSimulator()
    {
        stop = true;
        thread.join();
    }
    RunningSimulator(const RunningSimulator &) = delete;
    RunningSimulator &operator=(const RunningSimulator &) = delete;

private:
    Simulator simulator;
    std::atomic<bool> stop{false};
    std::thread thread;
};

#endif // RUNNINGSIMULATOR_H
