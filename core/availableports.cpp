// The system's survey of its serial ports, kept while /dev stays as it was,
// and what COMn opens: above the pure mapping (portmap.h), below the exchange.
#include "availableports.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

struct SystemPorts
{
    QVector<ReportedPort> ports;
    QMap<int, QString> devLinks; // the COMn links in /dev
    bool stale = true;
    QPointer<QFileSystemWatcher> watcher; // gone with the application object
    bool watchable = true;
};

SystemPorts &systemPorts()
{
    static SystemPorts ports;
    return ports;
}

// Marks the ports stale whenever a device node comes or goes. Returns false
// where this cannot be known, so that they are taken every time.
bool watchDevices(SystemPorts &system)
{
#ifdef Q_OS_WIN
    Q_UNUSED(system)
    return false; // no /dev to watch: Windows is asked every time
#else
    if (system.watcher)
        return true;
    if (!system.watchable || !QCoreApplication::instance())
        return false;
    auto *watcher = new QFileSystemWatcher(QCoreApplication::instance());
    if (!watcher->addPath(QStringLiteral("/dev"))) {
        delete watcher;
        system.watchable = false;
        return false;
    }
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged,
                     [] { systemPorts().stale = true; });
    system.watcher = watcher;
    system.stale = true;
    return true;
#endif
}

// A built-in UART's type, the kernel's number for its chip (0 when the
// driver found none behind the node); -1 for any other port.
int uartType(const QString &device)
{
    if (!device.startsWith(QLatin1String("/dev/ttyS")))
        return -1;
    QFile type(QStringLiteral("/sys/class/tty/") + device.mid(5) + QStringLiteral("/type"));
    bool isNumber = false;
    const int number =
        type.open(QIODevice::ReadOnly) ? type.readAll().trimmed().toInt(&isNumber) : -1;
    return isNumber ? number : -1;
}

ReportedPort reportedPort(const QSerialPortInfo &info, int uart)
{
#ifdef Q_OS_WIN
    const QString device = info.portName();
#else
    const QString device = info.systemLocation();
#endif
    return {device,
            info.description(),
            info.manufacturer(),
            info.serialNumber(),
            info.hasVendorIdentifier() ? info.vendorIdentifier() : -1,
            info.hasProductIdentifier() ? info.productIdentifier() : -1,
            uart};
}

#ifndef Q_OS_WIN
// The links named COMn in a folder that lead to a device: n -> that device.
QMap<int, QString> comLinks(const QString &folder)
{
    QMap<int, QString> links;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("COM*")}, QDir::AllEntries | QDir::System);
    for (const QString &name : names) {
        const int number = portNumberOf(name);
        const QString device = QFileInfo(dir.filePath(name)).canonicalFilePath();
        if (number != 0 && !device.isEmpty())
            links.insert(number, device);
    }
    return links;
}
#endif

const SystemPorts &currentSystemPorts()
{
    SystemPorts &system = systemPorts();
    if (!watchDevices(system) || system.stale) {
        system.ports.clear();
        const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
        // The toolkit leaves out a UART without a chip behind its node only
        // when the node's parent device belongs to the 8250 driver, which
        // recent kernels (with their serial-base bus) no longer make it.
        for (const QSerialPortInfo &info : infos) {
            const int uart = uartType(info.systemLocation());
            if (uart != 0)
                system.ports.append(reportedPort(info, uart));
        }
#ifndef Q_OS_WIN
        system.devLinks = comLinks(QStringLiteral("/dev"));
#endif
        system.stale = false;
    }
    return system;
}

#ifndef Q_OS_WIN
// $TAV_SERIAL_DIR as an absolute path, or empty when it is not set or empty.
QString linkFolder()
{
    const QString folder = qEnvironmentVariable("TAV_SERIAL_DIR");
    return folder.isEmpty() ? folder : QDir(folder).absolutePath();
}
#endif

} // namespace

PortMap systemPortMap()
{
    const SystemPorts &system = currentSystemPorts();
#ifdef Q_OS_WIN
    // Windows names its ports itself: COMn is the port it calls so.
    PortMap map;
    for (const ReportedPort &port : system.ports)
        map.ports.append({portNumberOf(port.device), port.device, {}, port, {}});
    std::sort(map.ports.begin(), map.ports.end(),
              [](const MappedPort &a, const MappedPort &b) { return a.number < b.number; });
    return map;
#else
    const QString folder = linkFolder();
    if (folder.isEmpty())
        return mapPorts({QStringLiteral("/dev"), false, system.devLinks, system.ports});
    return mapPorts({folder, true, comLinks(folder), system.ports});
#endif
}

QStringList availablePortLines()
{
#ifdef Q_OS_WIN
    QStringList lines;
    for (const ReportedPort &port : currentSystemPorts().ports) {
        const QString about = describePort(port);
        lines.append(QStringLiteral("  ") + port.device +
                     (about.isEmpty() ? QString() : QStringLiteral("  ") + about));
    }
    return lines;
#else
    return systemPortMap().lines();
#endif
}

PortLookup lookUpPort(int number, bool withLines)
{
#ifdef Q_OS_WIN
    return {portNameFor(number), false, withLines ? availablePortLines() : QStringList()};
#else
    if (!withLines) { // a link decides alone, as it does in the map
        const QString folder = linkFolder();
        if (!folder.isEmpty())
            return {QDir(folder).filePath(portNameFor(number)), true, {}};
        const QString devLink = QStringLiteral("/dev/") + portNameFor(number);
        if (QFileInfo::exists(devLink))
            return {devLink, false, {}};
    }
    const PortMap map = systemPortMap();
    return {map.deviceFor(number), map.linksOnly, withLines ? map.lines() : QStringList()};
#endif
}

QString serialDeviceFor(int number)
{
    return lookUpPort(number, false).device;
}
