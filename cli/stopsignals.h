#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QtGlobal>

#include <chrono>
#ifndef Q_OS_WIN
#include <csignal>
#endif

// How a user asks a long-running command to stop, as its help says it.
#ifdef Q_OS_WIN
#define TAV_STOP_WORDS "Ctrl-C or Ctrl-Break"
#else
#define TAV_STOP_WORDS "SIGINT or SIGTERM"
#endif

// SIGINT and SIGTERM caught, while this lives, as a request to stop (on
// Windows: Ctrl-C, Ctrl-Break and the console window's closing): a
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
#ifndef Q_OS_WIN
    // Readable once a stop signal has come, for an event loop to watch; -1
    // when it could not be made.
    int descriptor() const;
#endif
    // Waits until `deadline`, or less if a stop signal comes first (or came before).
    void waitUntil(std::chrono::steady_clock::time_point deadline) const;

private:
#ifndef Q_OS_WIN
    struct sigaction previousInt = {};
    struct sigaction previousTerm = {};
#endif
};

#endif // STOPSIGNALS_H
