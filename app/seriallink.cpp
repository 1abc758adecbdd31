// Serial link: the blocking transaction with the controller and the polling loop.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTimer>

int MainWindow::portSerie(int port, QByteArray command)
{
    // Not wired to a port yet: nothing is opened, nothing is sent.
    Q_UNUSED(port)
    Q_UNUSED(command)
    return -1;
}

void MainWindow::initTimerBoucle()
{
    timerBoucle = new QTimer(this);
    connect(timerBoucle, &QTimer::timeout, this, &MainWindow::on_pushButtonActualiser_clicked);
    timerBoucle->stop();
}

void MainWindow::on_checkBoxBoucle_stateChanged(int arg1)
{
    Q_UNUSED(arg1)
}
