#include "ptyline.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <thread>
#include <unistd.h>

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
    device = name;
    unlink(link.c_str());
    if (symlink(device.c_str(), link.c_str()) != 0) {
        close(master);
        throw std::runtime_error("cannot link " + link + " to " + device);
    }
}

PtyLine::~PtyLine()
{
    unlink(link.c_str());
    close(master);
}

std::string PtyLine::read(int timeoutMs)
{
    pollfd fd{master, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0)
        return std::string();
    char buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0)
        return std::string(buffer, size_t(n));
    // Nobody holds the device: the master reports a hang-up at once, so
    // wait here rather than spin.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 2)));
    return std::string();
}

size_t PtyLine::write(const char *data, size_t size)
{
    const ssize_t n = ::write(master, data, size);
    return n > 0 ? size_t(n) : 0;
}

bool PtyLine::isOpenAtFarEnd() const
{
    pollfd fd{master, 0, 0};
    return poll(&fd, 1, 0) == 0 || !(fd.revents & POLLHUP);
}
