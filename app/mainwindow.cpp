// Shell of the window: construction, destruction, the refresh action and the about box.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QLabel>
#include <QMessageBox>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), valAngleAzimut(0), valAngleElevation(0)
{
    // setupUi ends by connecting the controls to the slots by name, so the
    // values it gives the controls reach no slot.
    ui->setupUi(this);
    numPort = 1;
    valLED = 90;
    connect(ui->actionQuitter, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionA_propos, &QAction::triggered, this, &MainWindow::a_propos);
    initTimerBoucle();
    // A widget of the status bar rather than its message, which the menus'
    // status tips would wipe out.
    labelEtatMesures = new QLabel(startingValuesLine(), ui->statusBar);
    labelEtatMesures->setObjectName(QStringLiteral("labelEtatMesures"));
    ui->statusBar->addWidget(labelEtatMesures, 1);
}

MainWindow::~MainWindow()
{
    // The widgets and the timer are children of the window; only the record is ours.
    delete ui;
}

void MainWindow::on_pushButtonActualiser_clicked()
{
    portSerie(numPort, QByteArray("R\r"));
}

void MainWindow::a_propos()
{
    const QString title = QString::fromUtf8("A propos");
    const QString text = QString::fromUtf8(
        "Gestionnaire du panneau solaire developpé par Q.M.\r\n"
        "En cas de dysfonctinnement liaison série : \r\n"
        "lancer YAT\r\n"
        "envoyer R vers la liaison série\r\n"
        "fermer YAT et relancer le logiciel...\r\n"
        "\r\n"
        "i_elum    0x100 //emission vers le module luminosite\r\n"
        "i_rlum    0x101 //reception depuis le module luminosite\r\n"
        "i_eecl    0x200 //emission vers le module eclairage\r\n"
        "i_recl    0x201 //reception depuis le module eclairage\r\n"
        "i_ebat    0x300 //emission vers le module energie\r\n"
        "i_rbat    0x301 //reception depuis le module energie\r\n"
        "i_emot_m  0x400 //emission vers le module moteur pour demande de donnees\r\n"
        "i_rmot    0x401 //reception depuis le module moteur\r\n"
        "i_emot_c  0x402 //emission vers le module moteur pour commandes elevation\r\n");
    QMessageBox::information(this, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}
