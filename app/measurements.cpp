// Measurements: decoding the controller's reply into the members and the displays.
#include "mainwindow.h"
#include "replyfields.h"
#include "ui_mainwindow.h"

#include <QDebug>

namespace {

// Positions of the reply's fields (the first byte is position 0).
enum ReplyPosition {
    lumEstAt = 2,
    lumOuestAt = 5,
    lumNordAt = 8,
    lumSudAt = 11,
    vpanAt = 25,
    vbatAt = 28,
    ipanAt = 31,
    ibatAt = 34,
    batterieChargeAt = 37,
    batteriePleineAt = 39,
    batterieVideAt = 41,
    angleAzimutAt = 61,
    angleElevationAt = 64,
};

int readLogged(const QByteArray &reply, int position, const char *label)
{
    const int value = readNumericField(reply, position);
    qDebug() << label << value;
    return value;
}

// A flag reading "01" checks its button; anything else leaves the buttons as they are.
QString readFlagLogged(const QByteArray &reply, int position, const char *label,
                       QRadioButton *button)
{
    const QString text = readFlagField(reply, position);
    qDebug() << label << text;
    if (isFlagSet(text))
        button->setChecked(true);
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

QString tenths(int value)
{
    return QString::number(value / 10.0, 'f', 1);
}

} // namespace

int MainWindow::decodeReceivedData(QByteArray reply)
{
    valLumEST = readLogged(reply, lumEstAt, "valLumEST=");
    valLumOUEST = readLogged(reply, lumOuestAt, "valLumOUEST=");
    valLumSUD = readLogged(reply, lumSudAt, "valLumSUD=");
    valLumNORD = readLogged(reply, lumNordAt, "valLumNORD=");
    showValue(ui->progressBarMesureLumEst, valLumEST, ui->labelMesureLumEstVal,
              QString::number(valLumEST));
    showValue(ui->progressBarMesureLumOuest, valLumOUEST, ui->labelMesureLumOuestVal,
              QString::number(valLumOUEST));
    showValue(ui->progressBarMesureLumSud, valLumSUD, ui->labelMesureLumSudVal,
              QString::number(valLumSUD));
    showValue(ui->progressBarMesureLumNord, valLumNORD, ui->labelMesureLumNordVal,
              QString::number(valLumNORD));

    // Voltages come in tenths of a volt, currents in tens of milliamperes.
    valVPAN = readLogged(reply, vpanAt, "valVPAN=");
    valVBAT = readLogged(reply, vbatAt, "valVBAT=");
    valIPAN = readLogged(reply, ipanAt, "valIPAN=");
    valIBAT = readLogged(reply, ibatAt, "valIBAT=");
    showValue(ui->progressBarMesureVPAN, valVPAN, ui->labelMesureVPANval, tenths(valVPAN));
    showValue(ui->progressBarMesureVBAT, valVBAT, ui->labelMesureVBATval, tenths(valVBAT));
    showValue(ui->progressBarMesureIPAN, valIPAN * 10, ui->labelMesureIPANval,
              QString::number(valIPAN * 10));
    showValue(ui->progressBarMesureIBAT, valIBAT * 10, ui->labelMesureIBATval,
              QString::number(valIBAT * 10));

    // The buttons exclude each other, so where several flags are set the last
    // one tested stands: charging over empty, empty over full.
    valBatteriePleine = readFlagLogged(reply, batteriePleineAt,
                                       "valBatteriePleine=", ui->radioButton_batteriePleine);
    valBatterieVide =
        readFlagLogged(reply, batterieVideAt, "valBatterieVide=", ui->radioButton_batterieVide);
    valBatterieCharge = readFlagLogged(reply, batterieChargeAt,
                                       "valBatterieCharge=", ui->radioButton_batterieCharge);

    valAngleAzimut = readLogged(reply, angleAzimutAt, "valAngleAzimut=");
    valAngleElevation = readLogged(reply, angleElevationAt, "valAngleElevation=");
    ui->lcdNumberAzimut->display(QString::number(valAngleAzimut));
    ui->lcdNumberElevation->display(QString::number(valAngleElevation));
    return 0;
}
