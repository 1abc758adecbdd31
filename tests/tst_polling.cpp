// The polling loop: the check box starts and stops a 2000 ms refresh.
#include "mainwindow.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

class TestPolling : public QuietTestCase
{
    Q_OBJECT

private slots:
    void loopRefreshesEveryTwoSecondsWhileChecked();
};

// Each tick is the refresh command on the port selected at that moment.
// Ticks may come late on a loaded machine; the timer is a coarse one, which
// the toolkit may also fire up to 5% of its interval early.
void TestPolling::loopRefreshesEveryTwoSecondsWhileChecked()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1), {{0, workedExampleReply()}});
    PtyController com3(folder.pathOf(3), {{0, workedExampleReply()}});
    MainWindow window;
    auto *box = child<QCheckBox>(window, "checkBoxBoucle");
    const auto verifyTimes = [](const PtyController &port, QList<qint64> expected, qint64 from) {
        QList<qint64> times = port.commandTimes();
        QCOMPARE(times.size(), expected.size());
        for (int i = 0; i < times.size(); ++i)
            QVERIFY2(
                times[i] - from >= expected[i] * 95 / 100 - 20 &&
                    times[i] - from <= expected[i] + 300,
                qPrintable(
                    QString("tick at %1 ms, expected %2").arg(times[i] - from).arg(expected[i])));
    };

    box->click();
    QTest::qWait(1000);
    box->click(); // off, then on again: the wait starts anew
    box->click();
    const qint64 checkedAt = com1.nowMs();
    QTest::qWait(3000);
    child<QPushButton>(window, "pushButtonActualiser")->click(); // does not move the ticks
    child<QSlider>(window, "verticalSliderPortSerie")->setValue(3);
    QTest::qWait(1700);
    box->click();
    QTest::qWait(2400);
    verifyTimes(com1, {2000, 3000}, checkedAt);
    verifyTimes(com3, {4000}, checkedAt);
    QCOMPARE(com1.commands(), (QByteArrayList{"R\r", "R\r"}));
    QCOMPARE(com3.commands(), QByteArrayList{"R\r"});
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
