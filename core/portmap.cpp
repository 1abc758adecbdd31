#include "portmap.h"

#include <QDir>

#include <algorithm>
#include <limits>

namespace {

// k for a built-in UART /dev/ttyS<k>, else -1.
int uartIndex(const QString &device)
{
    const QLatin1String prefix("/dev/ttyS");
    if (!device.startsWith(prefix))
        return -1;
    const QStringRef digits = device.midRef(prefix.size());
    bool isNumber = false;
    const int index = digits.toInt(&isNumber);
    const bool plain = isNumber && digits == QString::number(index); // no sign, no leading 0
    return plain && index < std::numeric_limits<int>::max() ? index : -1;
}

// The number each port answers to (number -> index in `ports`), and the ports
// that none reaches.
QMap<int, int> numberPorts(const PortSurvey &survey, const QVector<ReportedPort> &ports,
                           QVector<int> &unnumbered)
{
    QMap<int, int> numbered;
    for (int i = 0; i < ports.size(); ++i) {
        int number = survey.links.key(ports[i].device, 0); // the lowest link that leads there
        const int uart = uartIndex(ports[i].device);
        if (number == 0 && !survey.linksOnly && uart >= 0 && !survey.links.contains(uart + 1))
            number = uart + 1;
        if (number != 0)
            numbered.insert(number, i);
        else
            unnumbered.append(i);
    }
    if (survey.linksOnly)
        return numbered;
    int next = 1;
    for (int i : qAsConst(unnumbered)) {
        while (numbered.contains(next) || survey.links.contains(next))
            ++next;
        numbered.insert(next, i);
    }
    unnumbered.clear();
    return numbered;
}

QString portLine(const QString &number, const QString &device, const ReportedPort &port)
{
    const QString about = describePort(port);
    return QStringLiteral("  ") + number + QStringLiteral("  ") + device +
           (about.isEmpty() ? QString() : QStringLiteral("  ") + about);
}

} // namespace

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

QString PortMap::deviceFor(int number) const
{
    return devices.value(number, QDir(linkFolder).filePath(portNameFor(number)));
}

PortMap mapPorts(const PortSurvey &survey)
{
    QVector<ReportedPort> ports = survey.ports;
    std::sort(ports.begin(), ports.end(),
              [](const ReportedPort &a, const ReportedPort &b) { return a.device < b.device; });
    QVector<int> unnumbered;
    const QMap<int, int> numbered = numberPorts(survey, ports, unnumbered);

    PortMap map{survey.linkFolder, survey.linksOnly, {}, {}};
    for (auto it = numbered.cbegin(); it != numbered.cend(); ++it) {
        const ReportedPort &port = ports[it.value()];
        QString device = port.device;
        if (survey.links.contains(it.key()))
            device = map.deviceFor(it.key()) + QStringLiteral(" -> ") + device;
        else
            map.devices.insert(it.key(), port.device);
        map.lines.append(portLine(portNameFor(it.key()), device, port));
    }
    for (int i : qAsConst(unnumbered))
        map.lines.append(portLine(QStringLiteral("none"), ports[i].device, ports[i]));
    return map;
}

QString describePort(const ReportedPort &port)
{
    QStringList facts;
    if (!port.description.isEmpty())
        facts.append(port.description);
    if (!port.manufacturer.isEmpty())
        facts.append(port.manufacturer);
    if (!port.serialNumber.isEmpty())
        facts.append(QStringLiteral("serial ") + port.serialNumber);
    if (port.vendorId >= 0 && port.productId >= 0)
        facts.append(QString::asprintf("%04x:%04x", port.vendorId, port.productId));
    return facts.join(QStringLiteral(", "));
}
