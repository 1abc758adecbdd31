#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QStringList>
#include <QtGlobal>

// Collects every line of the toolkit's log while it lives, as the debug
// stream formatted it. Captures nest: the innermost one collects. The
// toolkit's critical messages (QtTest's own reports among them) still reach
// the console; TAV_TEST_LOG=1 lets every line through.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return captured; }
    // The lines that start with the given text.
    QStringList linesStartingWith(const QString &prefix) const;
    void clear() { captured.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QStringList captured;
    QtMessageHandler previous;
    LogCapture *outer;
};

#endif // LOGCAPTURE_H
