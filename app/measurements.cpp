// Measurements: decoding the controller's reply into the members and the displays.
#include "mainwindow.h"
#include "ui_mainwindow.h"

int MainWindow::decodeReceivedData(QByteArray reply)
{
    Q_UNUSED(reply)
    return 0;
}
