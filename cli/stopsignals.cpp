// SIGINT and SIGTERM as a request to stop, through a flag and a self-pipe.
#include "stopsignals.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
// The handler writes a byte here, so that a wait on the read end wakes up.
int wakeUp[2] = {-1, -1};

void requestStop(int)
{
    const int savedErrno = errno;
    stopRequested = 1;
    if (wakeUp[1] >= 0 && ::write(wakeUp[1], "", 1) < 0) {
        // the pipe is full: a wake-up is already waiting in it
    }
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals()
{
    stopRequested = 0;
    if (::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        wakeUp[0] = wakeUp[1] = -1; // the waits then only time out, in short steps
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // The serial exchange's own waits carry on through a signal, so the
    // current row is completed before the command stops.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals()
{
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    for (int &end : wakeUp) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

bool StopSignals::received() const
{
    return stopRequested != 0;
}

int StopSignals::descriptor() const
{
    return wakeUp[0];
}

void StopSignals::waitUntil(std::chrono::steady_clock::time_point deadline) const
{
    using namespace std::chrono;
    constexpr milliseconds longestStepWithoutPipe(50);
    while (!received()) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return;
        pollfd wait = {wakeUp[0], POLLIN, 0};
        if (wakeUp[0] >= 0)
            ::poll(&wait, 1, int(left.count()));
        else
            ::poll(nullptr, 0, int(std::min(left, longestStepWithoutPipe).count()));
    }
}
