// Controls: lights, motors and the port selector.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_verticalSliderPortSerie_valueChanged(int value) { Q_UNUSED(value) }
void MainWindow::on_pushButton_LED1_clicked() {}
void MainWindow::on_pushButton_LED2_clicked() {}
void MainWindow::on_pushButton_LED3_clicked() {}
void MainWindow::on_pushButton_LED4_clicked() {}
void MainWindow::on_pushButton_LEDtous_clicked() {}
void MainWindow::on_pushButtonMoteurHaut_clicked() {}
void MainWindow::on_pushButtonMoteurDroit_clicked() {}
void MainWindow::on_pushButtonMoteurBas_clicked() {}
void MainWindow::on_pushButtonMoteurGauche_clicked() {}
void MainWindow::on_verticalSliderLED_valueChanged(int value) { Q_UNUSED(value) }
void MainWindow::on_radioButton_LED1_clicked() {}
void MainWindow::on_radioButton_LED2_clicked() {}
void MainWindow::on_radioButton_LED3_clicked() {}
void MainWindow::on_radioButton_LED4_clicked() {}
void MainWindow::on_radioButton_LED0_clicked() {}
