// The polling loop: the check box starts and stops a 2000 ms refresh.
#include "logcapture.h"
#include "mainwindow.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Ticks may come late on a loaded machine; the timer is a coarse one, which
// the toolkit may also fire up to 5% of its interval early.
void verifyNear(qint64 actual, qint64 expected)
{
    QVERIFY2(actual >= expected - expected / 20 - 20 && actual <= expected + 300,
             qPrintable(QString("at %1 ms, expected about %2 ms").arg(actual).arg(expected)));
}

} // namespace

class TestPolling : public QuietTestCase
{
    Q_OBJECT

private slots:
    void loopPollsEveryTwoSecondsUntilUnchecked();
    void recheckingRestartsTheWaitAndTheSelectedPortIsUsed();
};

void TestPolling::loopPollsEveryTwoSecondsUntilUnchecked()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    auto *box = child<QCheckBox>(window, "checkBoxBoucle");
    auto *timer = window.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(timer);

    box->click();
    const qint64 checkedAt = com1.nowMs();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 2000);
    QVERIFY(!timer->isSingleShot());

    // No refresh at once: the first comes with the first tick, on COM1.
    QTRY_COMPARE_WITH_TIMEOUT(com1.commands().size(), 1, 3000);
    verifyNear(com1.commandTimes()[0] - checkedAt, 2000);

    // A refresh by the button in between does not move the ticks.
    QTest::qWait(int(checkedAt + 3000 - com1.nowMs()));
    child<QPushButton>(window, "pushButtonActualiser")->click();
    QTRY_COMPARE_WITH_TIMEOUT(com1.commands().size(), 3, 2000);
    verifyNear(com1.commandTimes()[2] - checkedAt, 4000);
    QCOMPARE(com1.commands(), (QByteArrayList{"R\r", "R\r", "R\r"}));

    box->click();
    QVERIFY(!timer->isActive());
    QTest::qWait(2400);
    QCOMPARE(com1.commands().size(), 3);
}

void TestPolling::recheckingRestartsTheWaitAndTheSelectedPortIsUsed()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    PtyController com3(folder.pathOf(3));
    com1.answerAlways(workedExampleReply());
    com3.answerAlways(workedExampleReply());
    MainWindow window;
    auto *box = child<QCheckBox>(window, "checkBoxBoucle");

    box->click();
    QTest::qWait(1000);
    box->click();
    box->click();
    const qint64 recheckedAt = com1.nowMs();
    QTRY_COMPARE_WITH_TIMEOUT(com1.commands().size(), 1, 3000);
    verifyNear(com1.commandTimes()[0] - recheckedAt, 2000);

    // The next tick reads the port number anew.
    child<QSlider>(window, "verticalSliderPortSerie")->setValue(3);
    QTRY_COMPARE_WITH_TIMEOUT(com3.commands().size(), 1, 3000);
    verifyNear(com3.commandTimes()[0] - recheckedAt, 4000);
    QCOMPARE(com1.commands().size(), 1);
    box->click();
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
