#include "startup.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>

namespace {

void debuggerAndStandardError(QtMsgType type, const QMessageLogContext &context,
                              const QString &message)
{
    const QString line = qFormatLogMessage(type, context, message) + QLatin1Char('\n');
    OutputDebugStringW(reinterpret_cast<const wchar_t *>(line.utf16()));
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace
#endif

void skipOpenGlIntegration()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}

void logToStandardErrorToo()
{
#ifdef Q_OS_WIN
    qInstallMessageHandler(debuggerAndStandardError);
#endif
}
