#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "statusline.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class QLabel;
class QTimer;

namespace Ui {
class MainWindow;
}

// The panel's one window: it owns the form, remembers the selected port, the
// lighting level and the values of the controller's last reply, and receives
// every signal of the form through its private slots.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow();

    // One blocking exchange with the controller on port "COM<port>": open,
    // write the command, collect the reply, decode it, close.
    // Returns 0 when the command was written, -1 when opening or writing failed.
    int portSerie(int port, QByteArray command);

    // Reads the thirteen fixed-position fields of a reply into the members
    // and logs them; shows them when the reply is a status reply, so that
    // noise or a reply cut short never passes for a measurement. Always
    // returns 0.
    int decodeReceivedData(QByteArray reply);

private slots:
    void on_pushButtonActualiser_clicked();
    void a_propos();
    void on_verticalSliderPortSerie_valueChanged(int value);
    void on_pushButton_LED1_clicked();
    void on_pushButton_LED2_clicked();
    void on_pushButton_LED3_clicked();
    void on_pushButton_LED4_clicked();
    void on_pushButton_LEDtous_clicked();
    void on_pushButtonMoteurHaut_clicked();
    void on_pushButtonMoteurDroit_clicked();
    void on_pushButtonMoteurBas_clicked();
    void on_pushButtonMoteurGauche_clicked();
    void on_verticalSliderLED_valueChanged(int value);
    void on_checkBoxBoucle_stateChanged(int arg1);
    void on_radioButton_LED1_clicked();
    void on_radioButton_LED2_clicked();
    void on_radioButton_LED3_clicked();
    void on_radioButton_LED4_clicked();
    void on_radioButton_LED0_clicked();

private:
    void initTimerBoucle();
    void decodeAndShow(const QByteArray &reply, bool measured);
    void showMeasurements();
    void showOutcome(const ExchangeResult &result, ReplyShape shape);

    Ui::MainWindow *ui;
    int numPort;
    int valLED;
    // Values of the last decoded reply: voltages in tenths of a volt,
    // currents in tens of milliamperes, light levels and angles as received.
    int valLumEST = 0;
    int valLumOUEST = 0;
    int valLumSUD = 0;
    int valLumNORD = 0;
    int valVPAN = 0;
    int valVBAT = 0;
    int valIPAN = 0;
    int valIBAT = 0;
    int valAngleAzimut;
    int valAngleElevation;
    QString valBatteriePleine;
    QString valBatterieCharge;
    QString valBatterieVide;
    QTimer *timerBoucle = nullptr;
    // The status bar's line, and where the values on the displays come from.
    QLabel *labelEtatMesures = nullptr;
    ShownValues valeursAffichees;
};

#endif // MAINWINDOW_H
