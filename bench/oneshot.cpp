// Times one-shot exchanges as a user at a shell makes them, each a process of
// its own, from its start to its end: a bare exchange (this program run again
// with --bare: open, set the line, write "R\r", read until 100 ms of silence,
// close; nothing else) and tavctl status on the same port, taking turns, and
// tavctl's start-up alone (tavctl --version).
//
//   bench_oneshot RUNS DEVICE TAVCTL
//
// TAVCTL status runs with DEVICE's folder as TAV_SERIAL_DIR, on port COM1, so
// DEVICE is that folder's COM1. Prints one line per run, in milliseconds:
//   bare status version
// and exits 1 as soon as an exchange fails.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// The exchange at its barest: 9600 baud, 8N1, RTS/CTS, as tavctl sets it;
// the reply is what comes within 1000 ms, then until 100 ms pass in silence.
int bareExchange(const char *device)
{
    const int fd = ::open(device, O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 3;
    termios line{};
    ::tcgetattr(fd, &line);
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, B9600);
    line.c_cflag |= CRTSCTS | CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &line);
    ::tcflush(fd, TCIFLUSH);
    if (::write(fd, "R\r", 2) != 2)
        return 3;
    pollfd readable{fd, POLLIN, 0};
    char reply[4096];
    ssize_t size = 0;
    for (int waitMs = 1000; ::poll(&readable, 1, waitMs) > 0; waitMs = 100) {
        const ssize_t got = ::read(fd, reply + size, sizeof reply - size);
        if (got <= 0)
            break;
        size += got;
    }
    ::close(fd);
    return size > 0 ? 0 : 1;
}

double nowMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Runs a program to its end, its output to /dev/null: its wall time, or -1
// when it fails.
double timedRun(std::vector<std::string> arguments)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const double start = nowMs();
    pid_t pid = 0;
    int status = 0;
    const bool ran = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     ::waitpid(pid, &status, 0) == pid;
    const double end = nowMs();
    posix_spawn_file_actions_destroy(&actions);
    return ran && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? end - start : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--bare") == 0)
        return bareExchange(argv[2]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_oneshot RUNS DEVICE TAVCTL\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string device = argv[2], tavctl = argv[3];
    ::setenv("TAV_SERIAL_DIR", device.substr(0, device.rfind('/')).c_str(), 1);
    for (int run = 0; run < runs; ++run) {
        const double bare = timedRun({argv[0], "--bare", device});
        const double status = timedRun({tavctl, "status"});
        const double version = timedRun({tavctl, "--version"});
        if (bare < 0 || status < 0 || version < 0)
            return 1;
        std::printf("%.3f %.3f %.3f\n", bare, status, version);
    }
    return 0;
}
