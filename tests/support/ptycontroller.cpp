#include "ptycontroller.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyController::PtyController(const QString &linkPath) : link(linkPath)
{
    int slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    // Raw bytes both ways until the panel sets the line up itself.
    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
    close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    QFile::remove(link);
    if (!QFile::link(QString::fromLocal8Bit(name), link))
        throw std::runtime_error("cannot link the pseudo-terminal");
    worker = std::thread([this] { run(); });
}

PtyController::~PtyController()
{
    stopping = true;
    worker.join();
    if (master >= 0)
        close(master);
    QFile::remove(link);
}

void PtyController::setResponder(Responder newResponder)
{
    std::lock_guard<std::mutex> lock(mutex);
    responder = std::move(newResponder);
}

void PtyController::answerAlways(const QByteArray &reply)
{
    setResponder([reply](const QByteArray &) { return Answer{{0, reply}}; });
}

void PtyController::stayQuiet()
{
    std::lock_guard<std::mutex> lock(mutex);
    responder = nullptr;
    pending.clear();
}

QByteArray PtyController::received() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return all;
}

QByteArrayList PtyController::commands() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return complete;
}

QList<qint64> PtyController::commandTimes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return completeTimes;
}

qint64 PtyController::sentBytes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sent;
}

qint64 PtyController::nowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch).count();
}

void PtyController::clearReceived()
{
    std::lock_guard<std::mutex> lock(mutex);
    all.clear();
    partial.clear();
    complete.clear();
    completeTimes.clear();
}

bool PtyController::waitForCommands(int count, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (commands().size() < count) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void PtyController::run()
{
    while (!stopping) {
        pollfd fd{master, POLLIN, 0};
        // While no one holds the device open the master reports a hang-up
        // at once: sleep a little instead of spinning.
        if (poll(&fd, 1, 2) > 0 && (fd.revents & POLLIN))
            readAvailable();
        else if (fd.revents & POLLHUP)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        writeDue();
    }
}

void PtyController::readAvailable()
{
    char buffer[4096];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    all.append(buffer, int(n));
    partial.append(buffer, int(n));
    int end;
    while ((end = partial.indexOf('\r')) >= 0) {
        const QByteArray command = partial.left(end + 1);
        partial.remove(0, end + 1);
        complete.append(command);
        completeTimes.append(nowMs());
        if (!responder)
            continue;
        for (const Piece &piece : responder(command))
            pending.append(
                {now + std::chrono::milliseconds(piece.afterMs), piece.bytes, piece.hangUp});
    }
}

void PtyController::writeDue()
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto now = Clock::now();
    while (master >= 0 && !pending.isEmpty() && pending.first().due <= now) {
        QByteArray &bytes = pending.first().bytes;
        const ssize_t n = write(master, bytes.constData(), size_t(bytes.size()));
        if (n > 0)
            sent += n;
        if (n < 0 && errno == EAGAIN)
            return; // the line is full: try again on the next round
        if (n > 0 && n < bytes.size()) {
            bytes.remove(0, int(n));
            return;
        }
        if (pending.first().hangUp) {
            close(master);
            master = -1;
            pending.clear();
            return;
        }
        pending.removeFirst();
    }
}
