#include "mainwindow.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    skipOpenGlIntegration(); // read by the toolkit when the application object is built
    logToStandardErrorToo();
    QApplication application(argc, argv);
    MainWindow window(nullptr);
    window.show();
    return application.exec();
}
