#include "ptyline.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

std::string linkTarget(const std::string &path)
{
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

// The process that holds the master side of /dev/pts/N open, from its file
// descriptors' details ("tty-index:"), or 0 when none is found.
long ptyHolder(const std::string &device)
{
    const std::string prefix = "/dev/pts/";
    if (device.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string index = "tty-index:\t" + device.substr(prefix.size()) + "\n";
    DIR *processes = opendir("/proc");
    long holder = 0;
    while (dirent *process = processes ? readdir(processes) : nullptr) {
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR *open = opendir(fds.c_str());
        while (dirent *fd = open && !holder ? readdir(open) : nullptr) {
            if (linkTarget(fds + '/' + fd->d_name).find("ptmx") == std::string::npos)
                continue;
            std::ifstream info(std::string("/proc/") + process->d_name + "/fdinfo/" + fd->d_name);
            const std::string details{std::istreambuf_iterator<char>(info), {}};
            if (details.find(index) != std::string::npos)
                holder = std::strtol(process->d_name, nullptr, 10);
        }
        if (open)
            closedir(open);
        if (holder)
            break;
    }
    if (processes)
        closedir(processes);
    return holder;
}

// Why an entry already at `path` is not ours to replace, or nothing when it
// is a link to a pseudo-terminal that is gone: a line's link left behind by
// a process that could not remove it (killed). A file, a folder, a link
// elsewhere or a line still open are someone else's.
std::string whyNotReplaced(const std::string &path)
{
    struct stat entry {};
    if (lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode))
        return "it exists and is not a link; left as it is";
    const std::string target = linkTarget(path);
    struct stat device {};
    if (target.compare(0, 9, "/dev/pts/") == 0 && stat(target.c_str(), &device) != 0 &&
        errno == ENOENT)
        return std::string();
    const long holder = ptyHolder(target);
    return "it already leads to " + target +
           (holder ? ", the line of PID " + std::to_string(holder) : std::string()) +
           "; left as it is";
}

// Links the device at `path`; returns why not, or nothing.
std::string placeLink(const std::string &path, const std::string &target)
{
    if (symlink(target.c_str(), path.c_str()) == 0)
        return std::string();
    if (errno != EEXIST)
        return std::strerror(errno);
    // A link left behind may lead to the very device this line was given.
    if (linkTarget(path) == target)
        return std::string();
    std::string refusal = whyNotReplaced(path);
    if (!refusal.empty())
        return refusal;
    if (unlink(path.c_str()) != 0 || symlink(target.c_str(), path.c_str()) != 0)
        return std::strerror(errno);
    return std::string();
}

} // namespace

PtyLine::PtyLine(const std::string &linkPath) : link(linkPath)
{
    int slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    // Raw bytes both ways until the panel sets the line up itself.
    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
    close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // While nobody holds the device open the master reports a hang-up, over
    // and over. Watched edge-triggered, it reports it once, and then wakes up
    // as soon as the panel writes, with no polling in between.
    events = epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLET;
    epoll_ctl(events, EPOLL_CTL_ADD, master, &watch);
    device = name;
    const std::string refusal = placeLink(link, device);
    if (!refusal.empty()) {
        close(events);
        close(master);
        throw CannotLink("cannot link " + link + ": " + refusal);
    }
}

PtyLine::~PtyLine()
{
    // Only the line's own link: never what has come in its place.
    if (linkTarget(link) == device)
        unlink(link.c_str());
    hangUp();
    close(events);
}

void PtyLine::hangUp()
{
    if (master >= 0) {
        epoll_ctl(events, EPOLL_CTL_DEL, master, nullptr);
        close(master);
    }
    master = -1;
}

std::string PtyLine::read(int timeoutMs)
{
    epoll_event event{};
    if (master < 0 || epoll_wait(events, &event, 1, timeoutMs) <= 0) {
        if (master < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return std::string();
    }
    // Edge-triggered: take everything there is, or no new edge would come.
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, size_t(n));
    return bytes;
}

size_t PtyLine::write(const char *data, size_t size)
{
    if (master < 0)
        return 0;
    const ssize_t n = ::write(master, data, size);
    return n > 0 ? size_t(n) : 0;
}

std::string PtyLine::settings() const
{
    // On the master side, the terminal's settings are those of the device end.
    termios line{};
    if (master < 0 || tcgetattr(master, &line) != 0)
        return "unknown";
    const std::pair<speed_t, const char *> speeds[] = {
        {B1200, "1200"},   {B2400, "2400"},   {B4800, "4800"},   {B9600, "9600"},
        {B19200, "19200"}, {B38400, "38400"}, {B57600, "57600"}, {B115200, "115200"}};
    std::string text = "other";
    for (const auto &[speed, name] : speeds)
        if (cfgetospeed(&line) == speed)
            text = name;
    const tcflag_t size = line.c_cflag & CSIZE;
    text += ' ';
    text += size == CS5 ? '5' : size == CS6 ? '6' : size == CS7 ? '7' : '8';
    // A pseudo-terminal keeps 8 data bits and clears the parity enable bit
    // whatever it is set to, so 5 to 7 bits and even parity cannot show; odd
    // parity still does, by the bit that chooses it.
    text += (line.c_cflag & PARODD) ? 'O' : (line.c_cflag & PARENB) ? 'E' : 'N';
    text += (line.c_cflag & CSTOPB) ? '2' : '1';
    text += (line.c_cflag & CRTSCTS) ? " RTS/CTS" : (line.c_iflag & IXON) ? " XON/XOFF" : " none";
    return text;
}

bool PtyLine::isOpenAtFarEnd() const
{
    if (master < 0)
        return false;
    pollfd fd{master, 0, 0};
    return poll(&fd, 1, 0) == 0 || !(fd.revents & POLLHUP);
}
