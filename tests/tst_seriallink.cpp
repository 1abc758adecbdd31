// One transaction with the controller, over a real pseudo-terminal: what goes
// on the line, what the log says, what the window shows, and how failures and
// misbehaving devices end.
#include "logcapture.h"
#include "mainwindow.h"
#include "portnames.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtSerialPort>
#include <QtTest>
#include <QtWidgets>

namespace {

using Piece = PtyController::Piece;
using Answer = PtyController::Answer;

// The log of a transaction without the list of the system's ports.
QStringList transactionLines(const LogCapture &log)
{
    QStringList lines;
    for (const QString &line : log.lines())
        if (!line.startsWith("  "))
            lines.append(line);
    return lines;
}

} // namespace

class TestSerialLink : public QuietTestCase
{
    Q_OBJECT

private slots:
    void completeRefresh();
    void portNumberNamesThePort();
    void missingPort();
    void silentController();
    void replyInPieces();
    void bytesAfterSilenceAreNotPartOfTheReply();
    void chatteringControllerIsCapped();
};

void TestSerialLink::completeRefresh()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.answerAlways(workedExampleReply());
    MainWindow window;
    LogCapture log;

    QTest::mouseClick(child<QPushButton>(window, "pushButtonActualiser"), Qt::LeftButton);

    QCOMPARE(com1.received(), QByteArray("R\r"));
    QCOMPARE(transactionLines(log),
             (QStringList{"Ports disponibles :", "numport= \"COM1\"", "Port ouvert avec succès.",
                          "Données envoyées : \"R\\r\"", receivedLine(workedExampleReply()),
                          "valLumEST= 120", "valLumOUEST= 45", "valLumSUD= 33", "valLumNORD= 200",
                          "valVPAN= 138", "valVBAT= 125", "valIPAN= 40", "valIBAT= 12",
                          "valBatteriePleine= \"01\"", "valBatterieVide= \"00\"",
                          "valBatterieCharge= \"00\"", "valAngleAzimut= 90",
                          "valAngleElevation= 45", "Port fermé."}));

    const QMap<QString, QString> labels{
        {"labelMesureLumEstVal", "120"},  {"labelMesureLumOuestVal", "45"},
        {"labelMesureLumNordVal", "200"}, {"labelMesureLumSudVal", "33"},
        {"labelMesureVPANval", "13.8"},   {"labelMesureVBATval", "12.5"},
        {"labelMesureIPANval", "400"},    {"labelMesureIBATval", "120"}};
    for (auto it = labels.begin(); it != labels.end(); ++it)
        QCOMPARE(child<QLabel>(window, qPrintable(it.key()))->text(), it.value());
    const QMap<QString, int> bars{
        {"progressBarMesureLumEst", 120},  {"progressBarMesureLumOuest", 45},
        {"progressBarMesureLumNord", 200}, {"progressBarMesureLumSud", 33},
        {"progressBarMesureVPAN", 138},    {"progressBarMesureVBAT", 125},
        {"progressBarMesureIPAN", 400},    {"progressBarMesureIBAT", 120}};
    for (auto it = bars.begin(); it != bars.end(); ++it)
        QCOMPARE(child<QProgressBar>(window, qPrintable(it.key()))->value(), it.value());
    QVERIFY(child<QRadioButton>(window, "radioButton_batteriePleine")->isChecked());
    QVERIFY(!child<QRadioButton>(window, "radioButton_batterieCharge")->isChecked());
    QVERIFY(!child<QRadioButton>(window, "radioButton_batterieVide")->isChecked());
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberAzimut")->intValue(), 90);
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberElevation")->intValue(), 45);
}

void TestSerialLink::portNumberNamesThePort()
{
    SerialFolder folder;
    PtyController com12(folder.pathOf(12));
    com12.answerAlways(workedExampleReply());
    MainWindow window;
    LogCapture log;
    QCOMPARE(window.portSerie(12, "R\r"), 0);
    QCOMPARE(com12.received(), QByteArray("R\r"));
    QCOMPARE(log.linesStartingWith("numport="), QStringList{"numport= \"COM12\""});
}

void TestSerialLink::missingPort()
{
    SerialFolder folder; // holds no link at all
    MainWindow window;
    LogCapture log;
    QCOMPARE(window.portSerie(1, "R\r"), -1);
    QSerialPort probe(serialDeviceFor("COM1"));
    QVERIFY(!probe.open(QIODevice::ReadWrite));
    QCOMPARE(transactionLines(log),
             (QStringList{"Ports disponibles :", "numport= \"COM1\"",
                          QString("Erreur lors de l'ouverture du port : \"") + probe.errorString() +
                              "\""}));
}

void TestSerialLink::silentController()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1)); // never answers
    MainWindow window;
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(window.portSerie(1, "R\r"), 0);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 990 && elapsed < 1500, qPrintable(QString::number(elapsed)));
    const QStringList lines = transactionLines(log);
    QCOMPARE(lines.mid(lines.size() - 2),
             (QStringList{"Aucune donnée reçue dans le délai imparti.", "Port fermé."}));
    QVERIFY(log.linesStartingWith("Données reçues").isEmpty());
    QVERIFY(log.linesStartingWith("valLumEST=").isEmpty()); // no decode
    QCOMPARE(com1.received(), QByteArray("R\r"));
}

void TestSerialLink::replyInPieces()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    const QByteArray reply = workedExampleReply();
    com1.setResponder([reply](const QByteArray &) {
        return Answer{{0, reply.left(10)},
                      {60, reply.mid(10, 20)},
                      {120, reply.mid(30, 20)},
                      {180, reply.mid(50)}};
    });
    MainWindow window;
    LogCapture log;
    QCOMPARE(window.portSerie(1, "R\r"), 0);
    QCOMPARE(log.linesStartingWith("Données reçues"), QStringList{receivedLine(reply)});
    QCOMPARE(log.linesStartingWith("valLumEST=").size(), 1);
    QCOMPARE(child<QLCDNumber>(window, "lcdNumberElevation")->intValue(), 45);
}

void TestSerialLink::bytesAfterSilenceAreNotPartOfTheReply()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    const QByteArray reply = workedExampleReply();
    com1.setResponder([reply](const QByteArray &) {
        return Answer{{0, reply.left(40)}, {240, reply.mid(40)}};
    });
    MainWindow window;
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(window.portSerie(1, "R\r"), 0);
    QVERIFY(clock.elapsed() < 240);
    QCOMPARE(log.linesStartingWith("Données reçues"), QStringList{receivedLine(reply.left(40))});
    QCOMPARE(log.linesStartingWith("valAngleAzimut="), QStringList{"valAngleAzimut= 0"});
}

void TestSerialLink::chatteringControllerIsCapped()
{
    SerialFolder folder;
    PtyController com1(folder.pathOf(1));
    com1.setResponder([](const QByteArray &) {
        Answer chatter;
        for (int ms = 0; ms < 4000; ms += 10)
            chatter.append({ms, "0123456789"});
        return chatter;
    });
    MainWindow window;
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(window.portSerie(1, "R\r"), 0);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1900 && elapsed < 2300, qPrintable(QString::number(elapsed)));

    const QStringList truncated = log.linesStartingWith("Réponse tronquée :");
    QCOMPARE(truncated.size(), 1);
    const int kept = truncated.first().section(' ', -1).toInt();
    QVERIFY2(kept > 1000 && kept < 4096, qPrintable(truncated.first()));
    const QStringList lines = transactionLines(log);
    const int at = lines.indexOf(truncated.first());
    QVERIFY(lines.value(at + 1).startsWith("Données reçues : \"0123456789"));
    QCOMPARE(lines.last(), QString("Port fermé."));
    QCOMPARE(log.linesStartingWith("valLumEST=").size(), 1);
}

QTEST_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
