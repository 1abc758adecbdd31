// Faults of the line and of the device, over a real pseudo-terminal: each ends
// with the window alive and the next transaction working.
#include "logcapture.h"
#include "mainwindow.h"
#include "portnames.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtSerialPort>
#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <memory>
#include <unistd.h>

namespace {

using Answer = PtyController::Answer;

// The thirteen lines the decoder logs for this reply, from a window of its own.
QStringList decoderLines(const QByteArray &reply)
{
    LogCapture log;
    MainWindow reference;
    log.clear(); // the form's own warnings
    reference.decodeReceivedData(reply);
    return log.lines();
}

QStringList linesAfter(const LogCapture &log, const QString &line)
{
    const QStringList lines = log.lines();
    return lines.mid(lines.indexOf(line) + 1);
}

// Why the toolkit refuses to open COMn just now (the text the panel must log).
QString refusalOf(int port)
{
    QSerialPort probe(serialDeviceFor(portNameFor(port)));
    if (probe.open(QIODevice::ReadWrite))
        return QString();
    return probe.errorString();
}

// The worked example goes out and comes back decoded, with nothing before it.
void verifyNextTransactionWorks(MainWindow &window, PtyController &controller)
{
    controller.answerAlways(workedExampleReply());
    LogCapture log;
    QCOMPARE(window.portSerie(1, "R\r"), 0);
    QCOMPARE(log.linesStartingWith("Données reçues"),
             QStringList{receivedLine(workedExampleReply())});
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberElevation")->intValue(), 45);
    QCOMPARE(child<QLabel>(window, "labelMesureVBATval")->text(), QString("12.5"));
}

} // namespace

class TestFaults : public QuietTestCase
{
    Q_OBJECT

private slots:
    void deviceVanishesMidReply();
    void portHeldByAnotherProcess();
    void deviceFileMayNotBeOpened();
    void burstOfOneMebibyte();
    void oddBytes_data();
    void oddBytes();
    void lateAnswerIsNotReadIntoTheNextReply();
};

void TestFaults::deviceVanishesMidReply()
{
    SerialFolder folder;
    auto com1 = std::make_unique<PtyController>(folder.pathOf(1));
    const QByteArray part = workedExampleReply().left(30);
    com1->setResponder([part](const QByteArray &) {
        return Answer{{0, part}, {50, QByteArray(), true}};
    });
    MainWindow window;
    LogCapture log;
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(window.portSerie(1, "R\r"), 0);

    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    // What came before the far end closed is the reply, decoded as usual.
    QCOMPARE(log.linesStartingWith("Données reçues"), QStringList{receivedLine(part)});
    QCOMPARE(linesAfter(log, receivedLine(part)), decoderLines(part) << "Port fermé.");

    // The device comes back under the same name.
    com1.reset();
    com1 = std::make_unique<PtyController>(folder.pathOf(1));
    verifyNextTransactionWorks(window, *com1);
}

void TestFaults::portHeldByAnotherProcess()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    QProcess holder;
    holder.start(TAV_PORT_HOLDER, {serialDeviceFor("COM1")});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
    // The toolkit locks the port for its holder (a lock file, which binds root too).
    const QString refusal = refusalOf(1);
    QVERIFY(!refusal.isEmpty());
    LogCapture log;

    QCOMPARE(window.portSerie(1, "R\r"), -1);

    QCOMPARE(log.linesStartingWith("Erreur lors de l'ouverture du port"),
             QStringList{"Erreur lors de l'ouverture du port : \"" + refusal + "\""});
    QVERIFY(log.linesStartingWith("Port ouvert").isEmpty());
    QVERIFY(log.linesStartingWith("Port fermé").isEmpty());
    QVERIFY(com1.received().isEmpty());

    holder.closeWriteChannel(); // the holder lets go
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    verifyNextTransactionWorks(window, com1);
}

void TestFaults::deviceFileMayNotBeOpened()
{
    if (geteuid() == 0)
        QSKIP("running as root, which opens a device file of mode 000 all the same");
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    const QString device = QFileInfo(folder.pathOf(1)).canonicalFilePath();
    const QFileDevice::Permissions permissions = QFile::permissions(device);
    QVERIFY(QFile::setPermissions(device, {}));
    const QString refusal = refusalOf(1);
    MainWindow window;
    LogCapture log;

    const int result = window.portSerie(1, "R\r");
    QFile::setPermissions(device, permissions);

    QCOMPARE(result, -1);
    QVERIFY(!refusal.isEmpty());
    QCOMPARE(log.linesStartingWith("Erreur lors de l'ouverture du port"),
             QStringList{"Erreur lors de l'ouverture du port : \"" + refusal + "\""});
    QVERIFY(com1.received().isEmpty());
    verifyNextTransactionWorks(window, com1);
}

void TestFaults::burstOfOneMebibyte()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    const QByteArray burst = workedExampleReply() + QByteArray(1 << 20, 'x');
    com1.answerAlways(burst);
    MainWindow window;
    LogCapture log;
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(window.portSerie(1, "R\r"), 0);

    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(log.linesStartingWith("Réponse tronquée :"), QStringList{"Réponse tronquée : 4096"});
    QCOMPARE(log.linesStartingWith("Données reçues"), QStringList{receivedLine(burst.left(4096))});
    QCOMPARE(child<QLabel>(window, "labelMesureVPANval")->text(), QString("13.8"));
    // The panel took off the line little more than it kept: the rest of the
    // mebibyte is still with the controller or in the line's own buffers.
    QVERIFY2(com1.sentBytes() < 256 * 1024, qPrintable(QString::number(com1.sentBytes())));

    com1.stayQuiet(); // the device stops; what the line still holds is stale
    verifyNextTransactionWorks(window, com1);
}

void TestFaults::oddBytes_data()
{
    QTest::addColumn<QByteArray>("reply");
    const QByteArray example = workedExampleReply();
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(char(value));
    QByteArray noise;
    QRandomGenerator random(67);
    for (int i = 0; i < 300; ++i)
        noise.append(char(random.bounded(256)));

    QTest::newRow("binary noise") << noise;
    QTest::newRow("every byte value") << everyByte;
    QByteArray nulls = withBytesAt(example, 2, QByteArray("1\0002", 3));
    nulls = withBytesAt(withBytesAt(nulls, 38, QByteArray(1, '\0')), 61, QByteArray(3, '\0'));
    QTest::newRow("NUL bytes in fields") << nulls;
    QTest::newRow("NUL bytes only") << QByteArray(67, '\0');
    // In raw mode a terminal's line controls are bytes like any other.
    QTest::newRow("terminal controls in fields")
        << withBytesAt(withBytesAt(example, 2, "\x03\x04\x1a"), 25, "\x11\x13\x7f");
    QTest::newRow("CR LF in fields") << withBytesAt(withBytesAt(example, 5, "\r\n4"), 39, "\n\r");
    QTest::newRow("CR LF first") << "\r\n" + example;
    QTest::newRow("lone CR") << QByteArray("\r");
}

void TestFaults::oddBytes()
{
    QFETCH(QByteArray, reply);
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(reply);
    MainWindow window;
    LogCapture log;

    QCOMPARE(window.portSerie(1, "R\r"), 0);

    // The bytes arrive as sent, and are decoded like any reply.
    QCOMPARE(log.linesStartingWith("Données reçues"), QStringList{receivedLine(reply)});
    QCOMPARE(linesAfter(log, receivedLine(reply)), decoderLines(reply) << "Port fermé.");
    verifyNextTransactionWorks(window, com1);
}

// A reply belongs to the command just written: bytes that come after the
// transaction gave up wait in the line, and the next transaction must discard
// them rather than take them for the start of its own reply.
void TestFaults::lateAnswerIsNotReadIntoTheNextReply()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    const QByteArray late = "LATE" + workedExampleReply();
    com1.setResponder([late](const QByteArray &) { return Answer{{1100, late}}; });
    MainWindow window;
    LogCapture log;

    QCOMPARE(window.portSerie(1, "R\r"), 0);

    QCOMPARE(log.linesStartingWith("Aucune donnée reçue"),
             QStringList{"Aucune donnée reçue dans le délai imparti."});
    QVERIFY(log.linesStartingWith("Données reçues").isEmpty());
    QTRY_COMPARE(com1.sentBytes(), qint64(late.size())); // now waiting in the line
    verifyNextTransactionWorks(window, com1);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
