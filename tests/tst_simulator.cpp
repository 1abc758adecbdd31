// The controller simulator: its replies read back through the panel's own
// transaction and decoder, its model, its fault modes and its shutdown.
#include "installation.h"
#include "logcapture.h"
#include "mainwindow.h"
#include "quiettestcase.h"
#include "simulator.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <thread>

namespace {

// A simulator serving its line on a thread of its own, as long as it lives.
class RunningSimulator
{
public:
    explicit RunningSimulator(const SimulatorOptions &options) : simulator(options)
    {
        thread = std::thread([this] { simulator.run(stop); });
    }
    ~RunningSimulator()
    {
        stop = true;
        thread.join();
    }

private:
    Simulator simulator;
    std::atomic<bool> stop{false};
    std::thread thread;
};

SimulatorOptions quickOptions(const QString &link)
{
    SimulatorOptions options;
    options.linkPath = link.toStdString();
    options.daySeconds = 0; // the sun stands still: every reply tells the same
    options.latencyMs = 0;
    options.paced = false;
    return options;
}

// The thirteen values the panel logged for its last decode, by label.
QMap<QString, QString> decoded(const LogCapture &log)
{
    QMap<QString, QString> values;
    for (const QString &line : log.lines())
        if (line.startsWith("val"))
            values.insert(line.section("= ", 0, 0), line.section("= ", 1));
    return values;
}

QString flagText(bool set)
{
    return set ? "\"01\"" : "\"00\"";
}

// A number as the reply carries it: three characters, so -99 to 999.
QString numberText(int value)
{
    return QString::number(qBound(-99, value, 999));
}

QMap<QString, QString> expectedLog(const StatusValues &s)
{
    return {{"valLumEST", numberText(s.lumEst)},
            {"valLumOUEST", numberText(s.lumOuest)},
            {"valLumNORD", numberText(s.lumNord)},
            {"valLumSUD", numberText(s.lumSud)},
            {"valVPAN", numberText(s.vpan)},
            {"valVBAT", numberText(s.vbat)},
            {"valIPAN", numberText(s.ipan)},
            {"valIBAT", numberText(s.ibat)},
            {"valBatterieCharge", flagText(s.charge)},
            {"valBatteriePleine", flagText(s.pleine)},
            {"valBatterieVide", flagText(s.vide)},
            {"valAngleAzimut", numberText(s.azimut)},
            {"valAngleElevation", numberText(s.elevation)}};
}

// The panel's log label for each field the simulator can be told to fix.
const QMap<QString, QString> labelOf{{"est", "valLumEST"},
                                     {"ouest", "valLumOUEST"},
                                     {"nord", "valLumNORD"},
                                     {"sud", "valLumSUD"},
                                     {"vpan", "valVPAN"},
                                     {"vbat", "valVBAT"},
                                     {"ipan", "valIPAN"},
                                     {"ibat", "valIBAT"},
                                     {"charge", "valBatterieCharge"},
                                     {"pleine", "valBatteriePleine"},
                                     {"vide", "valBatterieVide"},
                                     {"azimut", "valAngleAzimut"},
                                     {"elevation", "valAngleElevation"}};

using FieldValues = QMap<QString, int>;

} // namespace

class TestSimulator : public QuietTestCase
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void commandsMoveTheModel_data();
    void commandsMoveTheModel();
    void motorStepShowsInTheNextReply();
    void batteryFlagsFollowTheVoltage_data();
    void batteryFlagsFollowTheVoltage();
    void sunLightsTheSensorsFacingIt();
    void faultModes_data();
    void faultModes();
    void refusesBadOptions_data();
    void refusesBadOptions();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
};

void TestSimulator::roundTrip_data()
{
    QTest::addColumn<FieldValues>("fixed");
    QTest::newRow("the model's own values") << FieldValues{};
    QTest::newRow("typical") << FieldValues{
        {"est", 151},  {"ouest", 0},    {"nord", 7},      {"sud", 129},  {"vpan", 147},
        {"vbat", 132}, {"ipan", 144},   {"ibat", 10},     {"charge", 1}, {"pleine", 0},
        {"vide", 0},   {"azimut", 180}, {"elevation", 45}};
    QTest::newRow("negative") << FieldValues{{"est", -5},   {"ouest", -99},  {"vbat", -1},
                                             {"ibat", -42}, {"azimut", -12}, {"elevation", -7}};
    QTest::newRow("out of the bars' ranges")
        << FieldValues{{"est", 300},       {"vpan", 999}, {"ipan", 201}, {"ibat", 250},
                       {"elevation", 999}, {"pleine", 1}, {"vide", 1},   {"charge", 1}};
    QTest::newRow("beyond three digits")
        << FieldValues{{"nord", 1234}, {"sud", -150}, {"azimut", 100000}};
}

void TestSimulator::roundTrip()
{
    QFETCH(FieldValues, fixed);
    SerialFolder folder;
    SimulatorOptions options = quickOptions(folder.pathOf(1));
    QMap<QString, QString> expected = expectedLog(Installation().status());
    for (auto it = fixed.begin(); it != fixed.end(); ++it) {
        options.fixedFields[it.key().toStdString()] = it.value();
        const bool isFlag = labelOf[it.key()].startsWith("valBatterie");
        expected[labelOf[it.key()]] = isFlag ? flagText(it.value() != 0) : numberText(it.value());
    }
    RunningSimulator simulator(options);
    MainWindow window;
    LogCapture log;
    QCOMPARE(window.portSerie(1, "R\r"), 0);
    QCOMPARE(decoded(log), expected);
}

void TestSimulator::commandsMoveTheModel_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("azimuth");
    QTest::addColumn<int>("elevation");
    QTest::addColumn<QList<int>>("lights");
    const QList<int> off{0, 0, 0, 0};
    QTest::newRow("up") << QStringList{"J01010"} << 180 << 55 << off;
    QTest::newRow("down twice") << QStringList{"J02010", "J02010"} << 180 << 25 << off;
    QTest::newRow("up stops at 90") << QStringList{"J01030", "J01030"} << 180 << 90 << off;
    QTest::newRow("down stops at 0") << QStringList{"J02050"} << 180 << 0 << off;
    QTest::newRow("right") << QStringList{"K01010"} << 190 << 45 << off;
    QTest::newRow("left past north") << QStringList{"K02100", "K02100"} << 340 << 45 << off;
    QTest::newRow("right past north") << QStringList{"K01170", "K01020"} << 10 << 45 << off;
    QTest::newRow("all lights at 90")
        << QStringList{"E0190"} << 180 << 45 << QList<int>{90, 90, 90, 90};
    QTest::newRow("one light") << QStringList{"E0190", "E0400"} << 180 << 45
                               << QList<int>{0, 0, 100, 0};
    QTest::newRow("all off") << QStringList{"E0300", "E0000"} << 180 << 45 << off;
    QTest::newRow("refresh and unknown change nothing")
        << QStringList{"R", "X99", ""} << 180 << 45 << off;
}

void TestSimulator::commandsMoveTheModel()
{
    QFETCH(QStringList, commands);
    QFETCH(int, azimuth);
    QFETCH(int, elevation);
    QFETCH(QList<int>, lights);
    Installation model;
    const double lightsBefore = model.lightAmps();
    for (const QString &command : commands)
        model.apply(command.toStdString());
    QCOMPARE(model.panelAzimuth(), azimuth);
    QCOMPARE(model.panelElevation(), elevation);
    QList<int> levels;
    for (int i = 0; i < 4; ++i)
        levels.append(model.lightLevel(i));
    QCOMPARE(levels, lights);
    // Lights draw current; off, they draw none.
    const bool anyLit = lights != QList<int>{0, 0, 0, 0};
    QCOMPARE(model.lightAmps() > lightsBefore, anyLit);
}

void TestSimulator::motorStepShowsInTheNextReply()
{
    SerialFolder folder;
    RunningSimulator simulator(quickOptions(folder.pathOf(1)));
    MainWindow window;
    LogCapture log;
    window.portSerie(1, "R\r");
    QCOMPARE(decoded(log).value("valAngleElevation"), QString("45"));
    window.portSerie(1, "J01010\r");
    QCOMPARE(decoded(log).value("valAngleElevation"), QString("55"));
    window.portSerie(1, "K02010\r");
    QCOMPARE(decoded(log).value("valAngleAzimut"), QString("170"));
}

void TestSimulator::batteryFlagsFollowTheVoltage_data()
{
    QTest::addColumn<double>("volts");
    QTest::addColumn<double>("hour");
    QTest::addColumn<bool>("full");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<bool>("charging");
    QTest::newRow("full at 13.8 V") << 13.8 << 12.0 << true << false << false;
    QTest::newRow("not full at 13.7 V, charging by day") << 13.7 << 12.0 << false << false << true;
    QTest::newRow("not empty at 11.5 V") << 11.5 << 0.0 << false << false << false;
    QTest::newRow("empty below 11.5 V, charging by day") << 11.4 << 12.0 << false << true << true;
    QTest::newRow("empty below 11.5 V at night") << 11.4 << 0.0 << false << true << false;
}

void TestSimulator::batteryFlagsFollowTheVoltage()
{
    QFETCH(double, volts);
    QFETCH(double, hour);
    QFETCH(bool, full);
    QFETCH(bool, empty);
    QFETCH(bool, charging);
    Installation model(hour);
    model.setStateOfCharge((volts + 1e-9 - 11.2) / 2.8);
    QCOMPARE(model.status().vbat, qRound(volts * 10));
    QCOMPARE(model.status().pleine, full);
    QCOMPARE(model.status().vide, empty);
    QCOMPARE(model.status().charge, charging);
}

void TestSimulator::sunLightsTheSensorsFacingIt()
{
    Installation morning(7.0), noon(12.0), evening(17.0), night(23.0);
    QVERIFY(morning.status().lumEst > morning.status().lumOuest);
    QVERIFY(noon.status().lumSud > noon.status().lumNord);
    QVERIFY(evening.status().lumOuest > evening.status().lumEst);
    QCOMPARE(night.status().lumEst + night.status().lumSud + night.status().lumOuest +
                 night.status().lumNord,
             0);
    QCOMPARE(night.status().ipan, 0);
    // Turning the panel away from the noon sun costs current; a day charges the battery.
    const int facing = noon.status().ipan;
    noon.apply("K01090");
    QVERIFY(noon.status().ipan < facing);
    const int volts = morning.status().vbat;
    morning.advance(6.0);
    QVERIFY(morning.status().vbat > volts);
}

void TestSimulator::faultModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("paced");
    QTest::newRow("silent") << "silent" << false;
    QTest::newRow("garbage") << "garbage" << false;
    QTest::newRow("short") << "short" << false;
    QTest::newRow("chatter at 9600 baud") << "chatter" << true;
    QTest::newRow("chatter, fast") << "chatter" << false;
}

void TestSimulator::faultModes()
{
    QFETCH(QString, mode);
    QFETCH(bool, paced);
    SerialFolder folder;
    SimulatorOptions faulty = quickOptions(folder.pathOf(1));
    QVERIFY(Simulator::parseMode(mode.toStdString(), faulty.mode));
    faulty.paced = paced;
    faulty.seed = 7;
    RunningSimulator bad(faulty);
    RunningSimulator good(quickOptions(folder.pathOf(2)));
    MainWindow window;

    for (int round = 0; round < 2; ++round) {
        LogCapture log;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(window.portSerie(1, "R\r"), 0);
        QVERIFY2(clock.elapsed() < 2300, qPrintable(QString::number(clock.elapsed())));
        const QStringList received = log.linesStartingWith("Données reçues :");
        if (mode == "silent") {
            QVERIFY(received.isEmpty());
            QCOMPARE(log.linesStartingWith("Aucune donnée reçue").size(), 1);
            continue;
        }
        QCOMPARE(received.size(), 1);
        QCOMPARE(decoded(log).size(), 13);
        if (mode == "short")
            QVERIFY(!received.first().endsWith("\\r\\n\""));
        if (mode == "chatter") {
            // Paced, the 2000 ms cap ends it (about 1900 bytes); fast, the 4096-byte cap.
            const QStringList truncated = log.linesStartingWith("Réponse tronquée :");
            QCOMPARE(truncated.size(), 1);
            const int kept = truncated.first().section(' ', -1).toInt();
            QVERIFY2(paced ? kept > 1500 && kept < 2100 : kept == 4096,
                     qPrintable(truncated.first()));
        }
    }
    // The window lives on and the next transaction works.
    LogCapture log;
    QCOMPARE(window.portSerie(2, "R\r"), 0);
    QCOMPARE(decoded(log).value("valAngleElevation"), QString("45"));
}

void TestSimulator::refusesBadOptions_data()
{
    // Each value after the option is refused alone, with the message in the row's name.
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
        << QStringList{"--set",    "vbat=1e300", "vbat=nan", "ipan=1000000", "azimut=1.5",
                       "charge=2", "vide=-1",    "bogus=1",  "vbat",         "=5"};
    QTest::newRow("--mode takes normal,") << QStringList{"--mode", "loud", ""};
    QTest::newRow("--dir takes a folder") << QStringList{"--dir", ""};
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
    // The costliest values it accepts: the shortest day, a reply a minute late, chatter.
    QTest::newRow("SIGTERM, the costliest values")
        << int(SIGTERM)
        << QString("--day-seconds 1 --latency-ms 60000 --mode chatter --fast --seed 4294967295 "
                   "--set ibat=-999999 --port 4 --no-hint")
               .split(' ');
}

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
    QCOMPARE(QFileInfo::exists(folder), arguments.contains("--dir"));
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
