// Controls: lights, motors and the port selector. Each command is sent whole,
// carriage return included; the transaction adds nothing.
#include "mainwindow.h"
#include "portmap.h"
#include "ui_mainwindow.h"

// Lights. A radio button sends only when it is selected after the click.

void MainWindow::on_radioButton_LED1_clicked()
{
    if (ui->radioButton_LED1->isChecked())
        portSerie(numPort, QByteArray("E0200\r"));
}

void MainWindow::on_radioButton_LED2_clicked()
{
    if (ui->radioButton_LED2->isChecked())
        portSerie(numPort, QByteArray("E0300\r"));
}

void MainWindow::on_radioButton_LED3_clicked()
{
    if (ui->radioButton_LED3->isChecked())
        portSerie(numPort, QByteArray("E0400\r"));
}

void MainWindow::on_radioButton_LED4_clicked()
{
    if (ui->radioButton_LED4->isChecked())
        portSerie(numPort, QByteArray("E0500\r"));
}

void MainWindow::on_radioButton_LED0_clicked()
{
    if (ui->radioButton_LED0->isChecked())
        portSerie(numPort, QByteArray("E0000\r"));
}

void MainWindow::on_pushButton_LEDtous_clicked()
{
    portSerie(numPort, QByteArray("E01") + QByteArray::number(valLED) + '\r');
}

// The level reaches the controller only through "LED complet": the slider's
// own command is the same for every value.
void MainWindow::on_verticalSliderLED_valueChanged(int value)
{
    valLED = value;
    ui->labelLEDcomplet->setText(QString::number(valLED) + QLatin1Char('%'));
    portSerie(numPort, QByteArray("E0150\r"));
}

// No control carries these names; they are kept for the controller's single-light commands.

void MainWindow::on_pushButton_LED1_clicked()
{
    portSerie(numPort, QByteArray("E0200\r"));
}

void MainWindow::on_pushButton_LED2_clicked()
{
    portSerie(numPort, QByteArray("E0300\r"));
}

void MainWindow::on_pushButton_LED3_clicked()
{
    portSerie(numPort, QByteArray("E0400\r"));
}

void MainWindow::on_pushButton_LED4_clicked()
{
    portSerie(numPort, QByteArray("E0500\r"));
}

// Motors: J moves the elevation (01 up, 02 down), K the azimuth (01 right, 02 left).

void MainWindow::on_pushButtonMoteurHaut_clicked()
{
    portSerie(numPort, QByteArray("J01010\r"));
}

void MainWindow::on_pushButtonMoteurDroit_clicked()
{
    portSerie(numPort, QByteArray("K01010\r"));
}

void MainWindow::on_pushButtonMoteurBas_clicked()
{
    portSerie(numPort, QByteArray("J02010\r"));
}

void MainWindow::on_pushButtonMoteurGauche_clicked()
{
    portSerie(numPort, QByteArray("K02010\r"));
}

// Port selector: only records the number; the next command uses it.
void MainWindow::on_verticalSliderPortSerie_valueChanged(int value)
{
    numPort = value;
    ui->labelNumPortSerie->setText(portNameFor(value));
}
