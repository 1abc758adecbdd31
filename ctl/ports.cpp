// tavctl ports: the numbers this machine's serial ports answer to. It opens
// none of them.
#include "availableports.h"
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// What is known of a port: what the system says of it, and a UART's type.
QString aboutPort(const MappedPort &mapped)
{
    QStringList facts;
    for (const QString &fact : {describePort(mapped.port), uartTypeName(mapped.port.uartType)})
        if (!fact.isEmpty())
            facts.append(fact);
    return facts.join(QStringLiteral(", "));
}

QString nameOf(const MappedPort &mapped)
{
    return mapped.number != 0 ? portNameFor(mapped.number) : QStringLiteral("none");
}

// "COM1  /dev/ttyS0  16550A UART", "COM5  /tmp/tav/COM5 -> /dev/pts/3",
// "COM2  /dev/ttyS0  16550A UART (not COM1: the link /dev/COM1 took that number)".
QByteArray asText(const PortMap &map)
{
    if (map.ports.isEmpty())
        return map.linksOnly
                   ? QByteArray("no serial port: TAV_SERIAL_DIR (") + map.linkFolder.toUtf8() +
                         ") holds no COMn link, and the system reports none\n"
#ifdef Q_OS_WIN
                   : QByteArray("no serial port: Windows reports none\n");
#else
                   : QByteArray("no serial port: the system reports none, and /dev "
                                "holds no COMn link\n");
#endif
    QByteArray text;
    for (const MappedPort &mapped : map.ports) {
        QStringList columns{nameOf(mapped)};
        if (mapped.device != columns.first()) // on Windows, the name is the device
            columns.append(mapped.target.isEmpty()
                               ? mapped.device
                               : mapped.device + QStringLiteral(" -> ") + mapped.target);
        const QString about = aboutPort(mapped);
        const QString note = mapped.note.isEmpty() ? QString() : '(' + mapped.note + ')';
        if (!about.isEmpty() || !note.isEmpty())
            columns.append(QStringList{about, note}.join(' ').trimmed());
        text += columns.join(QStringLiteral("  ")).toUtf8() + '\n';
    }
    return text;
}

// An array of objects; what is not known, null.
QByteArray asJson(const PortMap &map)
{
    const auto orNull = [](const QString &text) {
        return text.isEmpty() ? QJsonValue() : QJsonValue(text);
    };
    QJsonArray ports;
    for (const MappedPort &mapped : map.ports)
        ports.append(QJsonObject{{QStringLiteral("port"),
                                  mapped.number != 0 ? QJsonValue(nameOf(mapped)) : QJsonValue()},
                                 {QStringLiteral("device"), mapped.device},
                                 {QStringLiteral("link_target"), orNull(mapped.target)},
                                 {QStringLiteral("description"), orNull(aboutPort(mapped))},
                                 {QStringLiteral("note"), orNull(mapped.note)}});
    return QJsonDocument(ports).toJson(QJsonDocument::Indented);
}

} // namespace

int portsCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("ports"),
                     QStringLiteral("Lists the serial ports and the numbers they answer to (for "
                                    "--port), one a line; opens none of them."),
                     CommandLine::Exchanges::No);
    line.addFormatOption(QStringLiteral("the list"), false);
    line.setExitStatuses(
        QStringLiteral("Exit status: 0 listed, even when there is no port (one line then says\n"
                       "so); 2 usage error; 4 stdout did not take the list.\n"));
    if (const auto status = line.parse(arguments))
        return *status;
    if (!line.positionalArguments().isEmpty())
        return line.usageError(QStringLiteral("takes no arguments"));
    const PortMap map = systemPortMap();
    if (map.linksOnly && !QFileInfo(map.linkFolder).isDir())
        printError(QStringLiteral("TAV_SERIAL_DIR (%1) is not a folder: no port answers to a number")
                       .arg(map.linkFolder));
    const QByteArray text = line.format() == OutputFormat::Json ? asJson(map) : asText(map);
    return printToStdout(text, QStringLiteral("list")) ? ExitStatus::done : ExitStatus::outputError;
}
