// The controller simulator's model, and how it stops. Its replies, read back
// through the panel, and its fault modes are in transcripts/simulator.txt.
#include "installation.h"

#include <QtTest>

#include <csignal>

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void sunAndBattery();
    void stopsCleanlyOnSignal();
};

void TestSimulator::sunAndBattery()
{
    Installation morning(7.0), noon(12.0), evening(17.0), night(23.0);
    QVERIFY(morning.status().lumEst > morning.status().lumOuest);
    QVERIFY(noon.status().lumSud > noon.status().lumNord);
    QVERIFY(evening.status().lumOuest > evening.status().lumEst);
    const StatusValues dark = night.status();
    QCOMPARE(dark.lumEst + dark.lumSud + dark.lumOuest + dark.lumNord + dark.ipan, 0);
    // Turning the panel away from the noon sun costs current; a day charges the battery.
    const int facing = noon.status().ipan;
    noon.apply("K01090");
    QVERIFY(noon.status().ipan < facing);
    const int volts = morning.status().vbat;
    morning.advance(6.0);
    QVERIFY(morning.status().vbat > volts);
    // Full from 13.8 V, empty below 11.5 V; charging while the panel gives more than is drawn.
    const auto flags = [](double hour, double volts) {
        Installation model(hour);
        model.setStateOfCharge((volts + 1e-9 - 11.2) / 2.8);
        const StatusValues s = model.status();
        return QString("%1 %2 %3 %4").arg(s.vbat).arg(s.pleine).arg(s.vide).arg(s.charge);
    };
    QCOMPARE(flags(12, 13.8), QString("138 1 0 0"));
    QCOMPARE(flags(12, 13.7), QString("137 0 0 1"));
    QCOMPARE(flags(0, 11.5), QString("115 0 0 0"));
    QCOMPARE(flags(12, 11.4), QString("114 0 1 1"));
    QCOMPARE(flags(0, 11.4), QString("114 0 1 0"));
}

// SIGTERM and SIGINT stop it and remove its link, and its own folder if it made one.
void TestSimulator::stopsCleanlyOnSignal()
{
    for (const int signal : {SIGTERM, SIGINT}) {
        QTemporaryDir given;
        QProcess process;
        process.start(TAV_SIMULATOR, signal == SIGINT
                                         ? QStringList{"--dir", given.path(), "--port", "4"}
                                         : QStringList());
        QVERIFY(process.waitForReadyRead(5000));
        const QString line = QString::fromLocal8Bit(process.readLine());
        const QString link = line.section(" listening at ", 1).section(' ', 0, 0);
        QVERIFY2(QFileInfo(link).isSymLink(), qPrintable(line));
        QCOMPARE(QFileInfo(link).fileName(), QString(signal == SIGINT ? "COM4" : "COM1"));
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo::exists(QFileInfo(link).path()), signal == SIGINT);
    }
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
