#ifndef PTYCONTROLLER_H
#define PTYCONTROLLER_H

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QVector>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class PtyLine;

// A scripted controller at the far end of a real pseudo-terminal, on a thread
// of its own. Its device is linked at a path of the test's choosing (for the
// panel, <TAV_SERIAL_DIR>/COMn). It records every byte it receives and answers
// each command (bytes up to a carriage return) as its responder says.
class PtyController
{
public:
    // One piece of an answer: bytes written `afterMs` after the command came in;
    // with `hangUp`, the controller then closes its end for good, like a device
    // that vanishes (the link stays, dangling, until the controller is destroyed).
    struct Piece
    {
        int afterMs;
        QByteArray bytes;
        bool hangUp = false;
    };
    using Answer = QVector<Piece>;
    using Responder = std::function<Answer(const QByteArray &command)>;

    explicit PtyController(const QString &linkPath);
    ~PtyController();
    PtyController(const PtyController &) = delete;
    PtyController &operator=(const PtyController &) = delete;

    void setResponder(Responder responder);
    // Answers every command with these bytes at once.
    void answerAlways(const QByteArray &reply);
    // Never answers (the default); drops what it had still to send.
    void stayQuiet();

    QByteArray received() const;
    QByteArrayList commands() const;
    // When each command came in, in milliseconds on the controller's clock.
    QList<qint64> commandTimes() const;
    qint64 nowMs() const;
    // How many bytes it has handed to the line so far.
    qint64 sentBytes() const;
    void clearReceived();

private:
    using Clock = std::chrono::steady_clock;
    struct Pending
    {
        Clock::time_point due;
        QByteArray bytes;
        bool hangUp;
    };

    void run();
    void handle(const QByteArray &bytes);
    void writeDue();

    std::unique_ptr<PtyLine> line;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    Responder responder;
    QByteArray all;
    QByteArray partial;
    QByteArrayList complete;
    QList<qint64> completeTimes;
    const Clock::time_point epoch = Clock::now();
    QVector<Pending> pending;
    qint64 sent = 0;
    std::thread worker;
};

#endif // PTYCONTROLLER_H
