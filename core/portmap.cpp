#include "portmap.h"

#include <QDir>

#include <algorithm>
#include <iterator>
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

// Why a UART /dev/ttyS<k> does not answer to k+1: a link took that number.
// Empty for a port numbered as its device suggests, and with linksOnly.
QString lostNumberNote(const PortSurvey &survey, const ReportedPort &port, int number)
{
    const int uart = uartIndex(port.device);
    if (survey.linksOnly || uart < 0 || uart + 1 == number)
        return QString();
    return QStringLiteral("not %1: the link %2 took that number")
        .arg(portNameFor(uart + 1), QDir(survey.linkFolder).filePath(portNameFor(uart + 1)));
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
    for (const MappedPort &port : ports)
        if (port.number == number && number != 0)
            return port.device;
    return QDir(linkFolder).filePath(portNameFor(number));
}

QStringList PortMap::lines() const
{
    QStringList lines;
    for (const MappedPort &mapped : ports) {
        if (mapped.port.device.isEmpty())
            continue;
        const QString about = describePort(mapped.port);
        lines.append(
            QStringLiteral("  ") +
            (mapped.number != 0 ? portNameFor(mapped.number) : QStringLiteral("none")) +
            QStringLiteral("  ") + mapped.device +
            (mapped.target.isEmpty() ? QString() : QStringLiteral(" -> ") + mapped.target) +
            (about.isEmpty() ? QString() : QStringLiteral("  ") + about));
    }
    return lines;
}

PortMap mapPorts(const PortSurvey &survey)
{
    QVector<ReportedPort> ports = survey.ports;
    std::sort(ports.begin(), ports.end(),
              [](const ReportedPort &a, const ReportedPort &b) { return a.device < b.device; });
    QVector<int> unnumbered;
    const QMap<int, int> numbered = numberPorts(survey, ports, unnumbered);

    QMap<int, MappedPort> byNumber;
    const auto link = [&survey](int number) {
        return QDir(survey.linkFolder).filePath(portNameFor(number));
    };
    for (auto it = numbered.cbegin(); it != numbered.cend(); ++it) {
        const ReportedPort &port = ports[it.value()];
        if (survey.links.contains(it.key()))
            byNumber.insert(it.key(), {it.key(), link(it.key()), port.device, port, {}});
        else
            byNumber.insert(
                it.key(),
                {it.key(), port.device, {}, port, lostNumberNote(survey, port, it.key())});
    }
    for (auto it = survey.links.cbegin(); it != survey.links.cend(); ++it)
        if (!byNumber.contains(it.key()))
            byNumber.insert(it.key(), {it.key(), link(it.key()), it.value(), {}, {}});

    PortMap map{survey.linkFolder, survey.linksOnly, byNumber.values().toVector()};
    for (int i : qAsConst(unnumbered))
        map.ports.append(
            {0, ports[i].device, {}, ports[i], QStringLiteral("no link to it in TAV_SERIAL_DIR")});
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

QString uartTypeName(int type)
{
    // PORT_8250 to PORT_RSA in <linux/serial.h>; the later ones are other
    // drivers' own, named by number.
    static const char *const names[] = {"8250",  "16450",   "16550", "16550A",   "Cirrus",
                                        "16650", "16650V2", "16750", "Startech", "16C950",
                                        "16654", "16850",   "RSA"};
    if (type <= 0)
        return QString();
    if (type > int(std::size(names)))
        return QStringLiteral("UART of type %1").arg(type);
    return QLatin1String(names[type - 1]) + QStringLiteral(" UART");
}
