// Many transactions in a row hold on to nothing.
#include "logcapture.h"
#include "mainwindow.h"
#include "ptycontroller.h"
#include "testsupport.h"

#include <QtTest>

class TestLeaks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quiet.reset(new LogCapture(LogCapture::Discard)); }
    void cleanupTestCase() { quiet.reset(); }
    void transactionsLeaveNoFileDescriptorOpen();

private:
    QScopedPointer<LogCapture> quiet;
};

void TestLeaks::transactionsLeaveNoFileDescriptorOpen()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    window.portSerie(1, "R\r"); // first use loads what the toolkit keeps for good
    window.portSerie(2, "R\r");
    const int before = openFileDescriptors();
    // Answered ones on COM1, and ones whose port does not exist on COM2.
    for (int i = 0; i < 200; ++i)
        QCOMPARE(window.portSerie(i % 4 == 3 ? 2 : 1, "R\r"), i % 4 == 3 ? -1 : 0);
    QCOMPARE(openFileDescriptors(), before);
    QCOMPARE(com1.commands().size(), 1 + 150);
}

QTEST_MAIN(TestLeaks)
#include "tst_leaks.moc"
