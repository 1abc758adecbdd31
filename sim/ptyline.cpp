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
    hangUp();
}

void PtyLine::hangUp()
{
    if (master >= 0)
        close(master);
    master = -1;
}

std::string PtyLine::read(int timeoutMs)
{
    pollfd fd{master, POLLIN, 0};
    if (master < 0 || poll(&fd, 1, timeoutMs) <= 0) {
        if (master < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return std::string();
    }
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
    if (master < 0)
        return 0;
    const ssize_t n = ::write(master, data, size);
    return n > 0 ? size_t(n) : 0;
}

bool PtyLine::isOpenAtFarEnd() const
{
    if (master < 0)
        return false;
    pollfd fd{master, 0, 0};
    return poll(&fd, 1, 0) == 0 || !(fd.revents & POLLHUP);
}
