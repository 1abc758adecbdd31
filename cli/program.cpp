#include "program.h"

#include "commandline.h"

#include <QCoreApplication>

#include <csignal>

QString beginProgram(int argc, char **argv)
{
#ifdef SIGXFSZ
    // A file-size limit makes a write fail with EFBIG, which is reported like
    // a full disk, rather than killing the program half way through a file.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    setCommandName(command);
    return command;
}

QStringList commandArguments()
{
    QCoreApplication::setApplicationName(QStringLiteral("tavctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAV_VERSION));
    return QCoreApplication::arguments().mid(1);
}
