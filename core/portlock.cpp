#include "portlock.h"

#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#endif

qint64 portLockHolder(const QString &device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device)
    return 0;
#else
    // The folders and the name the serial port module locks a device with:
    // the device's path less "/dev/", its slashes turned to underscores.
    static const QStringList folders{
        QStringLiteral("/var/lock"),       QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"),            QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &folder : folders) {
        qint64 pid = 0;
        QString host, application;
        if (QLockFile(folder + QStringLiteral("/LCK..") + name)
                .getLockInfo(&pid, &host, &application) &&
            pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM))
            return pid;
    }
    return 0;
#endif
}
