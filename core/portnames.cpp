#include "portnames.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

QString portNameFor(int port)
{
    return QStringLiteral("COM") + QString::number(port);
}

QString serialDeviceFor(const QString &portName)
{
#ifdef Q_OS_WIN
    return portName;
#else
    const QString folder = qEnvironmentVariable("TAV_SERIAL_DIR");
    if (!folder.isEmpty())
        return QDir(folder).absoluteFilePath(portName);
    const QString udevLink = QStringLiteral("/dev/") + portName;
    if (QFileInfo::exists(udevLink))
        return udevLink;
    bool isNumber = false;
    const int number = portName.midRef(3).toInt(&isNumber);
    if (portName.startsWith(QLatin1String("COM")) && isNumber && number >= 1)
        return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
    return udevLink;
#endif
}
