#ifndef PTYCONTROLLER_H
#define PTYCONTROLLER_H

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QVector>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

class PtyLine;

// A scripted controller at the far end of a real pseudo-terminal, on a thread
// of its own, its device linked at a path of the test's choosing (for the
// panel, <TAV_SERIAL_DIR>/COMn). It records each command (bytes up to a
// carriage return) and answers it the same way every time.
//
// Like the real controller, it hears only a line set to 9600 baud, 8N1,
// RTS/CTS: a command that comes in on a line set otherwise is recorded with
// the line's settings after it ("R\r on 19200 8N1 RTS/CTS") and not answered.
class PtyController
{
public:
    // One piece of an answer: bytes written `afterMs` after the command came
    // in; with `hangUp`, the controller then closes its end for good, like a
    // device that vanishes (the link stays, dangling).
    struct Piece
    {
        int afterMs;
        QByteArray bytes;
        bool hangUp = false;
    };
    using Answer = QVector<Piece>;

    // An empty answer never answers.
    explicit PtyController(const QString &linkPath, Answer answer = {});
    ~PtyController();
    PtyController(const PtyController &) = delete;
    PtyController &operator=(const PtyController &) = delete;

    // From now on; what was still to be sent is dropped.
    void answerWith(Answer answer);
    QByteArrayList commands() const;
    // When each command came in, in milliseconds on nowMs()'s clock.
    QList<qint64> commandTimes() const;
    qint64 nowMs() const;
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    struct Pending
    {
        Clock::time_point due;
        Piece piece;
    };

    void run();
    void handle(const std::string &bytes);
    void writeDue();

    std::unique_ptr<PtyLine> line;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    Answer answer;
    QByteArray partial;
    QByteArrayList complete;
    QList<qint64> times;
    const Clock::time_point epoch = Clock::now();
    QVector<Pending> pending;
    std::thread worker;
};

#endif // PTYCONTROLLER_H
