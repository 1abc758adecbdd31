#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Collects every message of the toolkit's log while it lives (one entry per
// line, as the debug stream formatted it). Set TAV_TEST_LOG=1 to also see them.
// Captures nest; the innermost one collects.
class LogCapture
{
public:
    enum Mode { Keep, Discard };
    // Discard swallows the lines (for the warnings a suite expects throughout).
    explicit LogCapture(Mode mode = Keep);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    // The lines that start with the given text.
    QStringList linesStartingWith(const QString &prefix) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex mutex;
    QStringList captured;
    QtMessageHandler previous;
    LogCapture *outer; // captures nest: the innermost one collects
    bool keep;
    bool echo;
};

#endif // LOGCAPTURE_H
