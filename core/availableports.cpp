#include "availableports.h"

#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSerialPortInfo>

namespace {

struct PortList
{
    QStringList lines;
    bool stale = true;
    QPointer<QFileSystemWatcher> watcher; // gone with the application object
    bool watchable = true;
};

PortList &portList()
{
    static PortList list;
    return list;
}

// Marks the list stale whenever a device node comes or goes. Returns false
// where this cannot be known, so that the list is taken every time.
bool watchDevices(PortList &list)
{
    if (list.watcher)
        return true;
    if (!list.watchable || !QCoreApplication::instance())
        return false;
    auto *watcher = new QFileSystemWatcher(QCoreApplication::instance());
    if (!watcher->addPath(QStringLiteral("/dev"))) {
        delete watcher;
        list.watchable = false;
        return false;
    }
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged,
                     [] { portList().stale = true; });
    list.watcher = watcher;
    list.stale = true;
    return true;
}

} // namespace

QStringList availablePortLines()
{
    PortList &list = portList();
    if (!watchDevices(list) || list.stale) {
        list.lines.clear();
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            list.lines.append(
                QStringLiteral("  %1 (%2)").arg(info.portName(), info.systemLocation()));
        list.stale = false;
    }
    return list.lines;
}
