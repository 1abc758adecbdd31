#include "logcapture.h"

#include <QMutexLocker>

namespace {
LogCapture *active = nullptr;
}

LogCapture::LogCapture(Mode mode)
    : outer(active), keep(mode == Keep), echo(qEnvironmentVariableIntValue("TAV_TEST_LOG") != 0)
{
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    active = outer;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *self = active;
    if (!self)
        return;
    if (self->keep) {
        QMutexLocker lock(&self->mutex);
        self->captured.append(message);
    }
    // QtTest's own messages (failures, skips) must still reach the console.
    if (self->echo || type >= QtCriticalMsg)
        self->previous(type, context, message);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

QStringList LogCapture::linesStartingWith(const QString &prefix) const
{
    QStringList found;
    for (const QString &line : lines())
        if (line.startsWith(prefix))
            found.append(line);
    return found;
}

void LogCapture::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}
