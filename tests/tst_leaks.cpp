// Many transactions in a row hold on to nothing.
#include "logcapture.h"
#include "mainwindow.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

#include <malloc.h>

namespace {

int openFileDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

// Bytes of heap in use, as the C library counts them. That tells a leak only
// with its per-thread caches off (they count the blocks they hold as in use;
// the suite runs with GLIBC_TUNABLES=glibc.malloc.tcache_count=0), and not
// under AddressSanitizer, whose allocator it does not see (and which checks
// for leaks itself).
qint64 heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return -1;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return -1;
#endif
#endif
    if (!qgetenv("GLIBC_TUNABLES").contains("glibc.malloc.tcache_count=0"))
        return -1;
    return qint64(mallinfo2().uordblks);
}

} // namespace

class TestLeaks : public QuietTestCase
{
    Q_OBJECT

private slots:
    void refreshesHoldNoDescriptorAndNoHeap();
};

// Refreshes by the button, with the loop's ticks let in between, and failed
// ones on a port that does not exist, leave no descriptor open and the heap
// where it was.
void TestLeaks::refreshesHoldNoDescriptorAndNoHeap()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1), {{0, workedExampleReply()}});
    MainWindow window;
    LogCapture log;
    child<QCheckBox>(window, "checkBoxBoucle")->click();
    const auto refresh = [&](int times) {
        for (int i = 0; i < times; ++i) {
            child<QPushButton>(window, "pushButtonActualiser")->click();
            QCoreApplication::processEvents();
            QCOMPARE(window.portSerie(2, "R\r"), -1);
            log.clear();
            com1.clear();
        }
    };
    refresh(10); // first uses load what the toolkit keeps for good
    const int descriptors = openFileDescriptors();
    const qint64 heap = heapInUse();
    refresh(60);
    QCOMPARE(openFileDescriptors(), descriptors);
    if (heap < 0)
        QSKIP("the heap in use cannot be measured here (see heapInUse)");
    const qint64 growth = heapInUse() - heap;
    QVERIFY2(growth < 8 * 1024, qPrintable(QString("%1 bytes more in use").arg(growth)));
}

QTEST_MAIN(TestLeaks)
#include "tst_leaks.moc"
