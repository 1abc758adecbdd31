#include "exchange.h"

#include "availableports.h"
#include "portlock.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QThread>

#ifndef Q_OS_WIN
#include <cerrno>
#include <unistd.h>
#endif

namespace {

constexpr int firstByteTimeoutMs = 1000; // the controller must start answering within this
constexpr int silenceMs = 100;           // this much silence ends a reply
// A device that never pauses would otherwise hold the caller for ever.
constexpr int maxReplyBytes = 4096;
constexpr int maxCollectMs = 2000; // counted from the reply's first byte
constexpr int busyRetryPauseMs = 50;

// Called once the first bytes are readable: gathers the reply until the line
// has been silent for 100 ms, or until it reaches the size or time cap.
void collectReply(QSerialPort &serial, ExchangeResult &result)
{
    QElapsedTimer sinceFirstByte;
    sinceFirstByte.start();
    QByteArray &reply = result.reply;
    reply = serial.readAll();
    while (reply.size() < maxReplyBytes) {
        const qint64 left = maxCollectMs - sinceFirstByte.elapsed();
        if (left <= 0 || !serial.waitForReadyRead(int(qMin<qint64>(silenceMs, left))))
            break;
        reply += serial.readAll();
    }
    result.collectMs = int(sinceFirstByte.elapsed());
    result.capped = reply.size() >= maxReplyBytes || result.collectMs >= maxCollectMs;
    if (result.capped) {
        reply.truncate(maxReplyBytes);
        qDebug() << "Réponse tronquée :" << reply.size();
    }
}

// Why the toolkit refused to open the port. It reports a port held by
// another program (its lock file, or an exclusive open) and a device the user
// may not open alike, as a permission error: they are told apart here.
// A device missing from the folder of links is told apart too: no entry at
// all, not even a link that leads nowhere.
ExchangeResult::Status refusalOf(const QSerialPort &serial, const QString &device,
                                 bool inLinkFolder)
{
    const QFileInfo entry(device);
    if (inLinkFolder && !entry.exists() && !entry.isSymLink())
        return ExchangeResult::NoLink;
    if (serial.error() == QSerialPort::DeviceNotFoundError)
        return ExchangeResult::NoDevice;
    if (serial.error() != QSerialPort::PermissionError)
        return ExchangeResult::OpenFailed;
#ifndef Q_OS_WIN
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return ExchangeResult::NoPermission;
#else
    Q_UNUSED(device)
#endif
    return ExchangeResult::PortBusy;
}

// Opens the port, trying again while another program holds it, for up to
// `retryMs`. Fills in why it failed.
bool openPort(QSerialPort &serial, const PortLookup &where, int retryMs, ExchangeResult &result)
{
    const QString &device = where.device;
    QElapsedTimer clock;
    clock.start();
    while (!serial.open(QIODevice::ReadWrite)) {
        result.status = refusalOf(serial, device, where.inLinkFolder);
        if (result.status != ExchangeResult::PortBusy || clock.elapsed() >= retryMs) {
            result.error = serial.errorString();
            if (result.status == ExchangeResult::PortBusy)
                result.holderPid = portLockHolder(device);
            return false;
        }
        QThread::msleep(busyRetryPauseMs);
    }
    return true;
}

} // namespace

ExchangeResult serialExchange(int port, const QByteArray &command,
                              const std::function<void(const ExchangeResult &)> &onReply,
                              const ExchangeOptions &options)
{
    ExchangeResult result;
    // The ports the system reports, so that an operator can tell which number
    // to pick, come from the same map as the device to open for COMn.
    const bool direct = !options.device.isEmpty();
    const PortLookup where =
        direct ? PortLookup{options.device, false,
                            options.listPorts ? availablePortLines() : QStringList()}
               : lookUpPort(port, options.listPorts);
    if (options.listPorts) {
        qDebug() << "Ports disponibles :";
        for (const QString &line : where.lines)
            qDebug().noquote() << line;
    }
    QSerialPort serial;
    result.port = direct ? options.device : portNameFor(port);
    qDebug() << "numport=" << result.port;

    result.device = where.device;
    serial.setPortName(result.device);
    serial.setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::HardwareControl);
    if (!openPort(serial, where, options.busyRetryMs, result)) {
        qDebug() << "Erreur lors de l'ouverture du port :" << result.error;
        return result;
    }
    qDebug() << "Port ouvert avec succès.";
    // A reply belongs to the command about to be written. Whatever the line
    // already holds came after an earlier exchange had given up (a late
    // answer, the rest of a burst): it is stale, and would otherwise be taken
    // for the start of this reply.
    serial.clear(QSerialPort::Input);

    // Any result but -1, a partial count included, counts as written.
    if (serial.write(command.constData(), command.size()) == -1) {
        result.status = ExchangeResult::WriteFailed;
        result.error = serial.errorString();
        qDebug() << "Erreur lors de l'envoi des données :" << result.error;
        return result; // the port object releases the port on return
    }
    qDebug() << "Données envoyées :" << command;

    if (serial.waitForReadyRead(firstByteTimeoutMs)) {
        result.status = ExchangeResult::Replied;
        collectReply(serial, result);
        qDebug() << "Données reçues :" << result.reply;
        if (onReply)
            onReply(result);
    } else {
        qDebug() << "Aucune donnée reçue dans le délai imparti.";
    }
    serial.close();
    qDebug() << "Port fermé.";
    return result;
}
