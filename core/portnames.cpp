#include "portnames.h"

#include "availableports.h"
#include "portmap.h"

#include <QDir>
#include <QtGlobal>

QString portNameFor(int port)
{
    return QStringLiteral("COM") + QString::number(port);
}

int portNumberOf(const QString &portName)
{
    bool isNumber = false;
    const int number = portName.midRef(3).toInt(&isNumber);
    return isNumber && number >= 1 && portName == portNameFor(number) ? number : 0;
}

QString serialDeviceFor(const QString &portName)
{
#ifdef Q_OS_WIN
    return portName;
#else
    const PortMap map = systemPortMap();
    const int number = portNumberOf(portName);
    return number != 0 ? map.deviceFor(number) : QDir(map.linkFolder).filePath(portName);
#endif
}
