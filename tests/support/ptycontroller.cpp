#include "ptycontroller.h"

#include "ptyline.h"

namespace {
const std::string controllerLine = "9600 8N1 RTS/CTS";
}

PtyController::PtyController(const QString &linkPath, Answer initial)
    : line(std::make_unique<PtyLine>(linkPath.toStdString())), answer(std::move(initial))
{
    worker = std::thread([this] { run(); });
}

PtyController::~PtyController()
{
    stopping = true;
    worker.join();
}

void PtyController::answerWith(Answer newAnswer)
{
    std::lock_guard<std::mutex> lock(mutex);
    answer = std::move(newAnswer);
    pending.clear();
}

QByteArrayList PtyController::commands() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return complete;
}

QList<qint64> PtyController::commandTimes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return times;
}

qint64 PtyController::nowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch).count();
}

void PtyController::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    complete.clear();
    times.clear();
}

void PtyController::run()
{
    while (!stopping) {
        handle(line->read(2));
        writeDue();
    }
}

void PtyController::handle(const std::string &bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    partial.append(bytes.data(), int(bytes.size()));
    for (int end; (end = partial.indexOf('\r')) >= 0; partial.remove(0, end + 1)) {
        QByteArray command = partial.left(end + 1);
        const std::string settings = line->settings();
        if (settings != controllerLine)
            command += " on " + QByteArray::fromStdString(settings);
        complete.append(command);
        times.append(nowMs());
        if (settings == controllerLine)
            for (const Piece &piece : answer)
                pending.append({Clock::now() + std::chrono::milliseconds(piece.afterMs), piece});
    }
}

void PtyController::writeDue()
{
    std::lock_guard<std::mutex> lock(mutex);
    while (!pending.isEmpty() && pending.first().due <= Clock::now()) {
        Piece &piece = pending.first().piece;
        const size_t n = line->write(piece.bytes.constData(), size_t(piece.bytes.size()));
        if (n < size_t(piece.bytes.size())) {
            piece.bytes.remove(0, int(n)); // the line is full: the rest on the next round
            return;
        }
        if (piece.hangUp) {
            line->hangUp();
            pending.clear();
            return;
        }
        pending.removeFirst();
    }
}
