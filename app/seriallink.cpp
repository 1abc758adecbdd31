// Serial link: the blocking transaction with the controller and the polling loop.
#include "availableports.h"
#include "mainwindow.h"
#include "portnames.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

namespace {

constexpr int firstByteTimeoutMs = 1000; // the controller must start answering within this
constexpr int silenceMs = 100;           // this much silence ends a reply
// A device that never pauses would otherwise hold the window for ever.
constexpr int maxReplyBytes = 4096;
constexpr int maxCollectMs = 2000; // counted from the reply's first byte
constexpr int pollingIntervalMs = 2000;

// Lists the ports the system reports, so that an operator can tell which
// number to pick.
void logAvailablePorts()
{
    qDebug() << "Ports disponibles :";
    for (const QString &line : availablePortLines())
        qDebug().noquote() << line;
}

// Called once the first bytes are readable: gathers the reply until the line
// has been silent for 100 ms, or until it reaches the size or time cap.
QByteArray collectReply(QSerialPort &serial)
{
    QElapsedTimer sinceFirstByte;
    sinceFirstByte.start();
    QByteArray reply = serial.readAll();
    while (reply.size() < maxReplyBytes) {
        const qint64 left = maxCollectMs - sinceFirstByte.elapsed();
        if (left <= 0 || !serial.waitForReadyRead(int(qMin<qint64>(silenceMs, left))))
            break;
        reply += serial.readAll();
    }
    if (reply.size() >= maxReplyBytes || sinceFirstByte.elapsed() >= maxCollectMs) {
        reply.truncate(maxReplyBytes);
        qDebug() << "Réponse tronquée :" << reply.size();
    }
    return reply;
}

} // namespace

int MainWindow::portSerie(int port, QByteArray command)
{
    logAvailablePorts();
    QSerialPort serial;
    const QString portName = portNameFor(port);
    qDebug() << "numport=" << portName;

    serial.setPortName(serialDeviceFor(portName));
    serial.setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::HardwareControl);
    if (!serial.open(QIODevice::ReadWrite)) {
        qDebug() << "Erreur lors de l'ouverture du port :" << serial.errorString();
        return -1;
    }
    qDebug() << "Port ouvert avec succès.";
    // A reply belongs to the command about to be written. Whatever the line
    // already holds came after an earlier transaction had given up (a late
    // answer, the rest of a burst): it is stale, and would otherwise be taken
    // for the start of this reply.
    serial.clear(QSerialPort::Input);

    // Any result but -1, a partial count included, counts as written.
    if (serial.write(command.constData(), command.size()) == -1) {
        qDebug() << "Erreur lors de l'envoi des données :" << serial.errorString();
        return -1; // the port object releases the port on return
    }
    qDebug() << "Données envoyées :" << command;

    if (serial.waitForReadyRead(firstByteTimeoutMs)) {
        const QByteArray reply = collectReply(serial);
        qDebug() << "Données reçues :" << reply;
        decodeReceivedData(reply);
    } else {
        qDebug() << "Aucune donnée reçue dans le délai imparti.";
    }
    serial.close();
    qDebug() << "Port fermé.";
    return 0;
}

void MainWindow::initTimerBoucle()
{
    timerBoucle = new QTimer(this);
    connect(timerBoucle, &QTimer::timeout, this, &MainWindow::on_pushButtonActualiser_clicked);
    timerBoucle->stop();
}

void MainWindow::on_checkBoxBoucle_stateChanged(int arg1)
{
    Q_UNUSED(arg1) // the check box itself is the state of the loop
    if (ui->checkBoxBoucle->isChecked())
        timerBoucle->start(pollingIntervalMs);
    if (!ui->checkBoxBoucle->isChecked())
        timerBoucle->stop();
}
