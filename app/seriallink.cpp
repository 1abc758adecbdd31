// Serial link: the blocking transaction with the controller and the polling loop.
#include "exchange.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTimer>

namespace {
constexpr int pollingIntervalMs = 2000;
}

int MainWindow::portSerie(int port, QByteArray command)
{
    const ExchangeResult result = serialExchange(
        port, command, [this](const QByteArray &reply) { decodeReceivedData(reply); });
    const bool written =
        result.status == ExchangeResult::Replied || result.status == ExchangeResult::NoReply;
    return written ? 0 : -1;
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
