// Times a program's start-up from the outside and reads its peak memory.
//
//   startwatch [--settle MS] [--ready-line] PROGRAM [ARGS...]
//
// Starts PROGRAM and stops the clock at the first sign that its window is shown:
// by default the first map of a top-level window on the X display ($DISPLAY;
// with no window manager, a client maps its top-level windows itself), or with
// --ready-line the first line the program writes on its standard output. The
// program then runs for MS more milliseconds (1000 by default, time for its
// first paints), its peak resident set (VmHWM) is read, and it is terminated.
// The program's standard error, its log, goes to /dev/null. Prints
// "<start-up ms> <peak resident kB>" on one line.
#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int giveUpMs = 30000;

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "startwatch: %s\n", what);
    std::exit(1);
}

// Waits until `fd` is readable or the deadline passes.
bool waitReadable(int fd, double deadlineMs)
{
    for (;;) {
        const double left = deadlineMs - nowMs();
        if (left <= 0)
            return false;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval timeout{long(left / 1e3), long(left * 1e3) % 1000000};
        const int n = select(fd + 1, &set, nullptr, nullptr, &timeout);
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

// Starts the program with its standard output on `outFd` (on /dev/null when
// negative) and its standard error, its log, on /dev/null.
pid_t launch(char **argv, int outFd)
{
    const pid_t pid = fork();
    if (pid < 0)
        fail("fork failed");
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(outFd < 0 ? devNull : outFd, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        execvp(argv[0], argv);
        std::perror("startwatch: exec");
        _exit(127);
    }
    return pid;
}

// The first map of a window that is not override-redirect (menus and
// tool tips are), among the root window's children.
bool waitForTopLevelMap(Display *display, double deadlineMs)
{
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect)
                return true;
        }
        if (!waitReadable(ConnectionNumber(display), deadlineMs))
            return false;
    }
}

bool waitForLine(int fd, double deadlineMs)
{
    char c = 0;
    while (waitReadable(fd, deadlineMs)) {
        if (read(fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
    }
    return false;
}

long peakResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            break;
        }
    }
    return value;
}

void sleepMs(int ms)
{
    timespec t{ms / 1000, long(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

void terminate(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        sleepMs(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char **argv)
{
    int settleMs = 1000;
    bool readyLine = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        if (std::strcmp(argv[first], "--settle") == 0 && first + 1 < argc)
            settleMs = std::atoi(argv[++first]);
        else if (std::strcmp(argv[first], "--ready-line") == 0)
            readyLine = true;
        else
            fail("usage: startwatch [--settle MS] [--ready-line] PROGRAM [ARGS...]");
    }
    if (first >= argc)
        fail("no program given");

    bool shown = false;
    double startedMs = 0;
    double shownMs = 0;
    pid_t pid = 0;
    if (readyLine) {
        int out[2];
        if (pipe(out) != 0)
            fail("pipe failed");
        startedMs = nowMs();
        pid = launch(argv + first, out[1]);
        close(out[1]);
        shown = waitForLine(out[0], startedMs + giveUpMs);
        shownMs = nowMs();
        close(out[0]);
    } else {
        Display *display = XOpenDisplay(nullptr);
        if (!display)
            fail("cannot open the X display");
        // The program must not inherit our connection to the display.
        fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, False);
        startedMs = nowMs();
        pid = launch(argv + first, -1);
        shown = waitForTopLevelMap(display, startedMs + giveUpMs);
        shownMs = nowMs();
        XCloseDisplay(display);
    }
    if (!shown) {
        terminate(pid);
        fail("the program showed no window");
    }
    sleepMs(settleMs);
    const long peakKb = peakResidentKb(pid);
    terminate(pid);
    if (peakKb < 0)
        fail("the program ended before its memory could be read");
    std::printf("%.2f %ld\n", shownMs - startedMs, peakKb);
    return 0;
}
