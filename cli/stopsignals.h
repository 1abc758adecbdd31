#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <chrono>
#include <csignal>

// SIGINT and SIGTERM caught, while this lives, as a request to stop: a
// long-running command checks for it between steps and wakes at once from a
// wait. One at a time.
class StopSignals
{
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    bool received() const;
    // Readable once a stop signal has come, for an event loop to watch; -1
    // when it could not be made.
    int descriptor() const;
    // Waits until `deadline`, or less if a stop signal comes first (or came before).
    void waitUntil(std::chrono::steady_clock::time_point deadline) const;

private:
    struct sigaction previousInt = {};
    struct sigaction previousTerm = {};
};

#endif // STOPSIGNALS_H
