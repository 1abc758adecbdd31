#include "logcapture.h"

namespace {
LogCapture *innermost = nullptr;
}

LogCapture::LogCapture() : previous(qInstallMessageHandler(&LogCapture::handler)), outer(innermost)
{
    innermost = this;
}

LogCapture::~LogCapture()
{
    innermost = outer;
    qInstallMessageHandler(previous);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    innermost->captured.append(message);
    LogCapture *outermost = innermost;
    while (outermost->outer)
        outermost = outermost->outer;
    if (type >= QtCriticalMsg || qEnvironmentVariableIntValue("TAV_TEST_LOG"))
        outermost->previous(type, context, message);
}

QStringList LogCapture::linesStartingWith(const QString &prefix) const
{
    QStringList found;
    for (const QString &line : captured)
        if (line.startsWith(prefix))
            found.append(line);
    return found;
}
