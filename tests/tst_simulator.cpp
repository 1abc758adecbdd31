// The controller simulator's model, and how it stops. Its replies, read back
// through the panel, and its fault modes are in transcripts/simulator.txt.
#include "decodedreply.h"
#include "exchange.h"
#include "installation.h"
#include "testsupport.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void sunAndBattery();
    void refusesBadOptions_data();
    void refusesBadOptions();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void leavesWhatIsNotItsOwn();
    void repliesComeWholeUnderLoad();
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

// Every option is checked; each value after it in a row is refused alone,
// with the message the row names.
void TestSimulator::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--port takes a whole number from 1 to 99")
        << QStringList{"--port", "0", "100", "1.5", "x", "", "nan"};
    QTest::newRow("--day-seconds takes 0 (the sun stands still) or 1 to 86400 seconds")
        << QStringList{"--day-seconds", "1e-9", "0.99", "-1", "86401", "inf", "1e-400"};
    QTest::newRow("--start-hour takes a number of hours from 0 to 24")
        << QStringList{"--start-hour", "-0.5", "24.5", "nan", "8h"};
    QTest::newRow("--latency-ms takes a whole number from 0 to 60000")
        << QStringList{"--latency-ms", "-1", "60001", "2.5", "1e300"};
    QTest::newRow("--seed takes a whole number from 0 to 4294967295")
        << QStringList{"--seed", "1e30", "-1", "4294967296", "0.5", "inf"};
    QTest::newRow("--set takes FIELD=VALUE")
        << QStringList{"--set",     "vbat=1e300", "vbat=nan", "ipan=1000", "azimut=1.5",
                       "ibat=-100", "charge=2",   "vide=-1",  "bogus=1",   "vbat",      "=5"};
    QTest::newRow("--mode takes normal,") << QStringList{"--mode", "loud", ""};
    QTest::newRow("--dir takes a folder") << QStringList{"--dir", ""};
    QTest::newRow("cannot make the folder /dev/null/x: Not a directory")
        << QStringList{"--dir", "/dev/null/x"};
    QTest::newRow("cannot link /dev/null/COM1: Not a directory")
        << QStringList{"--dir", "/dev/null"};
    QTest::newRow("unknown option --bogus") << QStringList{"--bogus", "1"};
    QTest::newRow("missing value after --seed") << QStringList{"--fast", "--seed"};
}

void TestSimulator::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    for (const QString &value : arguments.mid(1)) {
        QProcess process;
        process.start(TAV_SIMULATOR, {arguments.first(), value});
        QVERIFY(process.waitForFinished(5000));
        const QByteArray said = process.readAllStandardError();
        QVERIFY2(said.startsWith(QByteArray("tav-controller-sim: ") + QTest::currentDataTag()),
                 said);
        QCOMPARE(process.exitCode(), 2);
    }
}

void TestSimulator::stopsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("arguments"); // GIVEN stands for a folder of the test's own
    QTest::newRow("SIGTERM, own folder") << int(SIGTERM) << QStringList{};
    QTest::newRow("SIGINT, given folder")
        << int(SIGINT) << QStringList{"--dir", "GIVEN", "--port", "4"};
    QTest::newRow("SIGTERM, a folder to make")
        << int(SIGTERM) << QStringList{"--dir", "GIVEN/made/here"};
    // The costliest values it accepts: the shortest day, a reply a minute late, chatter.
    QTest::newRow("SIGTERM, the costliest values")
        << int(SIGTERM)
        << QString("--day-seconds 1 --latency-ms 60000 --mode chatter --fast --seed 4294967295 "
                   "--set ibat=-99 --port 4 --no-hint")
               .split(' ');
}

// SIGTERM and SIGINT stop it and remove its link, and the folders it made
// (its own, or a --dir that was missing, mode 0700), whatever it was doing.
void TestSimulator::stopsCleanlyOnSignal()
{
    QFETCH(int, signal);
    QFETCH(QStringList, arguments);
    QTemporaryDir given;
    QProcess process;
    process.start(TAV_SIMULATOR, arguments.replaceInStrings("GIVEN", given.path()));
    QVERIFY(process.waitForReadyRead(5000));
    const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
    const QString link = line.section(" listening at ", 1).section(' ', 0, 0);
    const QString folder = QFileInfo(link).path();
    const bool hint =
        line.contains("start the panel with: TAV_SERIAL_DIR=" + folder + " tav-panel");
    QVERIFY2(hint != arguments.contains("--no-hint"), qPrintable(line));
    QVERIFY(QFileInfo(link).isSymLink());
    const bool made = folder.endsWith("/made/here"); // no access for group or others
    QVERIFY(!made || !((QFile::permissions(folder) | QFile::permissions(folder + "/..")) & 0x77));
    QCOMPARE(QFileInfo(link).fileName(), QString(arguments.contains("--port") ? "COM4" : "COM1"));

    // A command waiting for its reply must not hold the stop back either.
    QFile device(link);
    QVERIFY(device.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    device.write("R\r");
    QTest::qWait(100);
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(2000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo::exists(folder), arguments.contains("--dir") && !made);
    QVERIFY(!made || !QFileInfo::exists(given.filePath("made")));
}

// A COMn that is a file, or another simulator's live link, is refused and
// left as it was; the link of one that was killed is taken over.
void TestSimulator::leavesWhatIsNotItsOwn()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("COM1"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
    file.close();
    const auto start = [&dir](QProcess &process, const char *port) {
        process.start(TAV_SIMULATOR, {"--dir", dir.path(), "--port", port, "--no-hint"});
        return process.waitForReadyRead(5000); // false once it has ended
    };
    QProcess first;
    QVERIFY(start(first, "2"));
    const QString live = QFile::symLinkTarget(dir.filePath("COM2"));
    for (const auto &[port, said] :
         {std::pair{"1", QString("COM1: it exists and is not a link; left as it is\n")},
          {"2", QString("COM2: it already leads to %1, the line of PID %2; left as it is\n")
                    .arg(live)
                    .arg(first.processId())}}) {
        QProcess second;
        QVERIFY(!start(second, port) && second.exitCode() == 2);
        QCOMPARE(QString(second.readAllStandardError()),
                 "tav-controller-sim: cannot link " + dir.filePath(said));
    }
    QCOMPARE(QFile::symLinkTarget(dir.filePath("COM2")), live);
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QProcess third;
    QVERIFY(start(third, "2"));
    third.terminate();
    QVERIFY(third.waitForFinished(5000) && third.exitCode() == 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"COM1"});
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "mine");
}

// Both cores busy, the simulator on the lowest priority and stopped now and
// then for longer than the panel's 100 ms of silence, as a loaded machine
// may leave it: its replies come late, but whole, never cut by a pause.
void TestSimulator::repliesComeWholeUnderLoad()
{
    SerialFolder folder;
    QProcess simulator;
    simulator.start("nice", {"-n", "19", TAV_SIMULATOR, "--dir", QFileInfo(folder.pathOf(1)).path(),
                             "--day-seconds", "0", "--no-hint"});
    QVERIFY(simulator.waitForReadyRead(5000));
    std::atomic<bool> busy{true};
    std::vector<std::thread> load;
    for (unsigned i = 0; i < 2 * std::max(2u, std::thread::hardware_concurrency()); ++i)
        load.emplace_back([&busy] {
            while (busy) {
            }
        });
    load.emplace_back([&busy, pid = pid_t(simulator.processId())] {
        while (busy) { // out of step with the exchanges, so that a pause falls anywhere
            std::this_thread::sleep_for(std::chrono::milliseconds(37));
            ::kill(pid, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
            ::kill(pid, SIGCONT);
        }
    });
    ExchangeOptions options;
    options.listPorts = false;
    QStringList lengths; // of the replies that were not whole
    int replies = 0;     // a reply later than 1000 ms proves nothing either way
    for (int i = 0; i < 12; ++i) {
        const ExchangeResult result = serialExchange(1, "R\r", {}, options);
        replies += result.status == ExchangeResult::Replied;
        if (result.status == ExchangeResult::Replied &&
            (result.reply.size() != 69 || !isStatusReply(result.reply)))
            lengths << QString::number(result.reply.size());
    }
    busy = false;
    for (std::thread &thread : load)
        thread.join();
    QVERIFY2(lengths.isEmpty(), qPrintable("replies of " + lengths.join(", ") + " bytes"));
    QVERIFY(replies >= 6);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
