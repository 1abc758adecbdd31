// Ctrl-C, Ctrl-Break and the console window's closing as a request to stop,
// through a flag and an event that the waits watch.
#include "stopsignals.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> stopRequested{false};
HANDLE wakeUp = nullptr;    // set when a stop is asked for
HANDLE finished = nullptr;  // set when the command has ended

// Windows ends the process as soon as the handler returns from a closing
// console: the handler waits for the command to finish its row and its
// summary first, within the few seconds Windows gives.
constexpr DWORD closingWaitMs = 4000;

BOOL WINAPI requestStop(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopRequested = true;
        ::SetEvent(wakeUp);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopRequested = true;
        ::SetEvent(wakeUp);
        ::WaitForSingleObject(finished, closingWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

StopSignals::StopSignals()
{
    stopRequested = false;
    for (HANDLE *event : {&wakeUp, &finished}) {
        if (*event)
            ::ResetEvent(*event);
        else
            *event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ::SetConsoleCtrlHandler(requestStop, TRUE);
}

StopSignals::~StopSignals()
{
    ::SetEvent(finished);
    ::SetConsoleCtrlHandler(requestStop, FALSE);
    // The events stay for the next one: a closing handler may still be
    // waiting on them.
}

bool StopSignals::received() const
{
    return stopRequested;
}

void StopSignals::waitUntil(std::chrono::steady_clock::time_point deadline) const
{
    using namespace std::chrono;
    while (!received()) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return;
        if (wakeUp)
            ::WaitForSingleObject(wakeUp, DWORD(left.count()));
        else
            ::Sleep(DWORD(std::min<long long>(left.count(), 50)));
    }
}
