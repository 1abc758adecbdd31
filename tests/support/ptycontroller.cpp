#include "ptycontroller.h"

#include "ptyline.h"

PtyController::PtyController(const QString &linkPath)
    : line(std::make_unique<PtyLine>(linkPath.toStdString()))
{
    worker = std::thread([this] { run(); });
}

PtyController::~PtyController()
{
    stopping = true;
    worker.join();
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

void PtyController::run()
{
    while (!stopping) {
        const std::string bytes = line->read(2);
        if (!bytes.empty())
            handle(QByteArray(bytes.data(), int(bytes.size())));
        writeDue();
    }
}

void PtyController::handle(const QByteArray &bytes)
{
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex);
    all.append(bytes);
    partial.append(bytes);
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
    while (!pending.isEmpty() && pending.first().due <= now) {
        QByteArray &bytes = pending.first().bytes;
        const size_t n = line->write(bytes.constData(), size_t(bytes.size()));
        sent += qint64(n);
        if (n < size_t(bytes.size())) {
            bytes.remove(0, int(n)); // the line is full: the rest on the next round
            return;
        }
        if (pending.first().hangUp) {
            line->hangUp();
            pending.clear();
            return;
        }
        pending.removeFirst();
    }
}
