// Serial link: the blocking transaction with the controller and the polling loop.
#include "exchange.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QLabel>
#include <QTimer>

namespace {
constexpr int pollingIntervalMs = 2000;
}

int MainWindow::portSerie(int port, QByteArray command)
{
    ReplyShape shape = ReplyShape::NotStatusReply;
    const ExchangeResult result = serialExchange(port, command, [&](const ExchangeResult &replied) {
        shape = replyShape(replied.reply, replied.capped);
        decodeAndShow(replied.reply, shape == ReplyShape::StatusReply);
    });
    showOutcome(result, shape);
    const bool written =
        result.status == ExchangeResult::Replied || result.status == ExchangeResult::NoReply;
    return written ? 0 : -1;
}

// The status bar says what the displays hold after this exchange.
void MainWindow::showOutcome(const ExchangeResult &result, ReplyShape shape)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (result.status == ExchangeResult::Replied && shape == ReplyShape::StatusReply) {
        valeursAffichees = {now, result.port};
        labelEtatMesures->setText(measuredLine(valeursAffichees));
    } else {
        labelEtatMesures->setText(failedLine(result, shape, now, valeursAffichees));
    }
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
