// Measurements: the values of the controller's reply into the members, the
// log and the displays.
#include "decodedreply.h"
#include "mainwindow.h"
#include "replyfields.h"
#include "ui_mainwindow.h"

#include <QDebug>

#include <utility>

namespace {

int logged(const char *label, int value)
{
    qDebug() << label << value;
    return value;
}

QString loggedFlag(const char *label, const QString &text)
{
    qDebug() << label << text;
    return text;
}

// A bar ignores a value outside its range and keeps the one it had.
// A progress bar repaints itself at once when its value changes, which would
// paint eight bars one by one inside the transaction; holding that back lets
// the event loop paint the whole window once, afterwards, as for the labels.
void showValue(QProgressBar *bar, int barValue, QLabel *label, const QString &text)
{
    bar->setUpdatesEnabled(false);
    bar->setValue(barValue);
    bar->setUpdatesEnabled(true);
    label->setText(text);
}

} // namespace

int MainWindow::decodeReceivedData(QByteArray reply)
{
    decodeAndShow(reply, isStatusReply(reply));
    return 0;
}

// The members and the log take whatever the reply decodes to; the displays
// only a measurement, and otherwise keep the last one.
void MainWindow::decodeAndShow(const QByteArray &reply, bool measured)
{
    const DecodedReply d = decodeReply(reply);
    valLumEST = logged("valLumEST=", d.lumEst);
    valLumOUEST = logged("valLumOUEST=", d.lumOuest);
    valLumSUD = logged("valLumSUD=", d.lumSud);
    valLumNORD = logged("valLumNORD=", d.lumNord);
    // Voltages come in tenths of a volt, currents in tens of milliamperes.
    valVPAN = logged("valVPAN=", d.vpan);
    valVBAT = logged("valVBAT=", d.vbat);
    valIPAN = logged("valIPAN=", d.ipan);
    valIBAT = logged("valIBAT=", d.ibat);
    valBatteriePleine = loggedFlag("valBatteriePleine=", d.pleine);
    valBatterieVide = loggedFlag("valBatterieVide=", d.vide);
    valBatterieCharge = loggedFlag("valBatterieCharge=", d.charge);
    valAngleAzimut = logged("valAngleAzimut=", d.azimut);
    valAngleElevation = logged("valAngleElevation=", d.elevation);
    if (measured)
        showMeasurements();
}

void MainWindow::showMeasurements()
{
    showValue(ui->progressBarMesureLumEst, valLumEST, ui->labelMesureLumEstVal,
              QString::number(valLumEST));
    showValue(ui->progressBarMesureLumOuest, valLumOUEST, ui->labelMesureLumOuestVal,
              QString::number(valLumOUEST));
    showValue(ui->progressBarMesureLumSud, valLumSUD, ui->labelMesureLumSudVal,
              QString::number(valLumSUD));
    showValue(ui->progressBarMesureLumNord, valLumNORD, ui->labelMesureLumNordVal,
              QString::number(valLumNORD));
    showValue(ui->progressBarMesureVPAN, valVPAN, ui->labelMesureVPANval, voltsText(valVPAN));
    showValue(ui->progressBarMesureVBAT, valVBAT, ui->labelMesureVBATval, voltsText(valVBAT));
    showValue(ui->progressBarMesureIPAN, milliamperes(valIPAN), ui->labelMesureIPANval,
              QString::number(milliamperes(valIPAN)));
    showValue(ui->progressBarMesureIBAT, milliamperes(valIBAT), ui->labelMesureIBATval,
              QString::number(milliamperes(valIBAT)));

    // A flag reading "01" checks its button; anything else leaves the buttons
    // as they are. They exclude each other, so where several flags are set the
    // last one tested stands: charging over empty, empty over full.
    for (const auto &[flag, button] :
         {std::pair{&valBatteriePleine, ui->radioButton_batteriePleine},
          {&valBatterieVide, ui->radioButton_batterieVide},
          {&valBatterieCharge, ui->radioButton_batterieCharge}})
        if (isFlagSet(*flag))
            button->setChecked(true);

    ui->lcdNumberAzimut->display(QString::number(valAngleAzimut));
    ui->lcdNumberElevation->display(QString::number(valAngleElevation));
}
