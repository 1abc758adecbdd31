// Many transactions in a row hold on to nothing.
#include "logcapture.h"
#include "mainwindow.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

class TestLeaks : public QuietTestCase
{
    Q_OBJECT

private slots:
    void transactionsLeaveNoFileDescriptorOpen();
    void soakWithThePollingLoopRunning();
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

// 300 refreshes, most by the button (each about 100 ms, the silence that ends
// a reply) and some by the loop's ticks in between, leave no descriptor open
// and the heap where it was.
void TestLeaks::soakWithThePollingLoopRunning()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    auto *refresh = child<QPushButton>(window, "pushButtonActualiser");
    child<QCheckBox>(window, "checkBoxBoucle")->click();
    const auto refreshUntil = [&](int commands) {
        while (com1.commands().size() < commands) {
            QTest::mouseClick(refresh, Qt::LeftButton);
            QCoreApplication::processEvents(); // lets the loop's ticks in
        }
    };
    refreshUntil(20); // first uses load what the toolkit keeps for good
    com1.clearReceived();
    const int descriptors = openFileDescriptors();
    const qint64 heap = heapInUse();

    refreshUntil(300);

    QCOMPARE(openFileDescriptors(), descriptors);
    child<QCheckBox>(window, "checkBoxBoucle")->click();
    com1.clearReceived(); // the controller's own record of the commands
    if (const char *reason = whyHeapIsNotMeasured())
        QSKIP(reason);
    const qint64 growth = heapInUse() - heap;
    QVERIFY2(growth < 16 * 1024, qPrintable(QString("%1 bytes more in use").arg(growth)));
}

QTEST_MAIN(TestLeaks)
#include "tst_leaks.moc"
