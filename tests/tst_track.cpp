// Following the sun: the tracker's decisions as table rows (a reading in, the
// move out); its sound behaviours over simulated days, driving the
// simulator's model through its status replies; and tavctl track run as a
// program against the simulator and scripted controllers on real
// pseudo-terminals.
#include "installation.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "runningsimulator.h"
#include "statusreply.h"
#include "testsupport.h"
#include "tracker.h"

#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {

SkyReading readingOf(const StatusValues &values)
{
    return skyReadingOf(decodeReply(QByteArray::fromStdString(encodeStatus(values))));
}

// A reading from its words: "E W N S IPAN AZ EL", the battery not full.
SkyReading readingOf(const QString &words)
{
    const QStringList w = words.split(' ');
    return {w[0].toInt(), w[1].toInt(), w[2].toInt(), w[3].toInt(), w[4].toInt(),
            false,        w[5].toInt(), w[6].toInt()};
}

// The tracker driving the model for `hours`, a refresh every `every` hours:
// its lines, the elevation commands meant to leave 0..90, and the moves made
// while parked.
struct Run
{
    QStringList lines;
    int outOfRange = 0;
    int movesWhileParked = 0;
};

Run follow(Installation &model, Tracker &tracker, double hours, double every, int elevationStep)
{
    Run run;
    for (double t = 0; t < hours && tracker.canMove(); t += every) {
        run.lines += tracker.observe(readingOf(model.status()), t * 3600);
        const bool parked = tracker.phase() == Tracker::Phase::Parked;
        for (int moves = 0; moves < 100 && tracker.canMove(); ++moves) {
            const std::optional<Move> move = tracker.nextMove();
            if (!move)
                break;
            const int meant = model.panelElevation() + (move->increase ? 1 : -1) * elevationStep;
            run.outOfRange += move->axis == Axis::Elevation && (meant < 0 || meant > 90);
            run.movesWhileParked += parked;
            model.apply(move->command.chopped(1).toStdString());
            run.lines += tracker.moved(*move, readingOf(model.status()));
        }
        model.advance(every);
    }
    return run;
}

// tavctl track until stopped: its exit status and what it said.
std::pair<int, QByteArray> track(const QStringList &arguments, int forMs)
{
    QProcess process;
    process.start(TAVCTL, QStringList{"track"} + arguments);
    if (!process.waitForFinished(forMs))
        ::kill(pid_t(process.processId()), SIGTERM);
    process.waitForFinished(5000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError()};
}

} // namespace

class TestTrack : public QuietTestCase
{
    Q_OBJECT

private slots:
    // Readings, in order, to a fresh tracker; then the move it asks for.
    void decisions_data()
    {
        QTest::addColumn<QStringList>("readings"); // E W N S IPAN AZ EL
        QTest::addColumn<QString>("command");      // "" for none
        QTest::newRow("the sun west of the panel: right, clockwise")
            << QStringList{"0 200 0 100 150 180 45"} << "K01010\r";
        QTest::newRow("the sun east of it: left") << QStringList{"200 0 0 100 150 180 45"} << "K02010\r";
        QTest::newRow("the sun north of it: the shorter way round")
            << QStringList{"0 100 200 0 150 10 45"} << "K02010\r";
        QTest::newRow("facing it in azimuth: lower, where the sensors put a low sun")
            << QStringList{"0 0 0 240 150 180 45"} << "J02010\r";
        QTest::newRow("a high sun: higher") << QStringList{"0 0 0 60 150 180 30"} << "J01010\r";
        QTest::newRow("a high sun, 80 degrees up, the step unknown: nothing above 90")
            << QStringList{"0 0 0 20 150 180 80"} << "J02010\r";
        QTest::newRow("within half a step of the sun's azimuth: its height is looked for")
            << QStringList{"0 0 0 200 150 184 30"} << "J01010\r";
        QTest::newRow("no light, no current: parking, east first")
            << QStringList{"0 0 0 0 0 180 45"} << "K02010\r";
        QTest::newRow("parked: none") << QStringList{"0 0 0 0 0 90 10"} << "";
        QTest::newRow("light and current falling together: a cloud, waited out")
            << QStringList{"0 0 0 200 150 180 38", "0 0 0 60 45 180 38"} << "";
        QTest::newRow("under the cloud, the sun gone on by more than a step: followed")
            << QStringList{"0 0 0 200 150 180 38", "0 0 0 60 45 180 38", "0 20 0 55 44 180 38"}
            << "K01010\r";
    }
    void decisions()
    {
        QFETCH(QStringList, readings);
        QFETCH(QString, command);
        Tracker tracker;
        double t = 0;
        for (const QString &reading : readings)
            tracker.observe(readingOf(reading), t += 10);
        const std::optional<Move> move = tracker.nextMove();
        QCOMPARE(move ? QString(move->command) : QString(), command);
    }

    // Parked, about once a minute, or as often as the sun was seen to go 15
    // degrees, never more often than the interval asked.
    void parkedInterval()
    {
        Tracker tracker;
        QCOMPARE(tracker.parkedInterval(10), 60.0);
        tracker.observe(readingOf("0 200 0 100 150 180 45"), 0); // the sun at 243.4 degrees
        tracker.observe(readingOf("0 200 0 50 150 180 45"), 1);  // 256.0 a second later
        QVERIFY2(qAbs(tracker.parkedInterval(1) - 15 / 12.53) < 0.01,
                 qPrintable(QString::number(tracker.parkedInterval(1))));
        QCOMPARE(tracker.parkedInterval(5), 5.0);
    }

    // Over a simulated day (or its evening), driving the model through its
    // replies, a refresh every 6 simulated minutes: what the panel harvests
    // of what a panel always facing the sun would, the line that tells each
    // fault, and never an elevation command meant beyond 0..90.
    void soundBehaviours_data()
    {
        QTest::addColumn<int>("azimuthStep");
        QTest::addColumn<int>("elevationStep");
        QTest::addColumn<int>("azimuthFault"); // AxisFault
        QTest::addColumn<int>("elevationFault");
        QTest::addColumn<double>("clouds");
        QTest::addColumn<double>("startHour");
        QTest::addColumn<double>("hours");
        QTest::addColumn<double>("atLeast"); // of the ideal harvest
        QTest::addColumn<QString>("said");   // among the lines
        const int none = int(AxisFault::None), jammed = int(AxisFault::Jammed),
                  reversed = int(AxisFault::Reversed);
        QTest::newRow("clear, 10 degrees") << 0 << 0 << none << none << 0.0 << 6.05 << 12.0 << 0.97 << "";
        QTest::newRow("clear, 5 degrees") << 5 << 5 << none << none << 0.0 << 6.05 << 12.0 << 0.93 << "";
        QTest::newRow("15 and 7 degrees, clouds") << 15 << 7 << none << none << 8.0 << 6.05 << 12.0 << 0.9
                                                  << "cloud: the light and the current fell together";
        QTest::newRow("elevation jammed: given up, the azimuth still followed")
            << 0 << 0 << none << jammed << 0.0 << 6.05 << 12.0 << 0.85
            << "elevation given up: its read-out stays at";
        QTest::newRow("azimuth reversed: driven the other way")
            << 0 << 0 << reversed << none << 0.0 << 6.05 << 12.0 << 0.96
            << "azimuth turns the opposite way from its commands";
        QTest::newRow("elevation reversed: driven the other way")
            << 0 << 0 << none << reversed << 0.0 << 6.05 << 12.0 << 0.96
            << "elevation turns the opposite way from its commands";
        QTest::newRow("both jammed: the panel does not follow")
            << 0 << 0 << jammed << jammed << 0.0 << 9.0 << 12.0 << 0.0
            << "the panel does not follow the motor commands";
        QTest::newRow("evening into night: parked once, then still")
            << 0 << 0 << none << none << 0.0 << 16.0 << 6.0 << 0.9 << "parked at 90,";
    }
    void soundBehaviours()
    {
        QFETCH(int, azimuthStep);
        QFETCH(int, elevationStep);
        QFETCH(int, azimuthFault);
        QFETCH(int, elevationFault);
        QFETCH(double, clouds);
        QFETCH(double, startHour);
        QFETCH(double, hours);
        QFETCH(double, atLeast);
        QFETCH(QString, said);
        InstallationOptions options;
        options.startHour = startHour;
        options.azimuthStep = azimuthStep;
        options.elevationStep = elevationStep;
        options.azimuthFault = AxisFault(azimuthFault);
        options.elevationFault = AxisFault(elevationFault);
        options.cloudsPerDay = clouds;
        options.seed = 3;
        Installation model(options);
        Tracker tracker;
        const Run run = follow(model, tracker, hours, 0.1, elevationStep ? elevationStep : 10);
        const Harvest &harvest = model.harvest();
        const QString summary = QString("%1 of the ideal, %2 moves by day (%3 needed)\n")
                                    .arg(harvest.panelWh / harvest.idealWh)
                                    .arg(harvest.daylightMotorCommands)
                                    .arg(harvest.neededCommands) +
                                run.lines.join('\n');
        if (qEnvironmentVariableIsSet("TAV_TRACK_LOG")) // each run's figures and lines
            std::fprintf(stderr, "%s\n", qPrintable(summary));
        QVERIFY2(harvest.panelWh >= atLeast * harvest.idealWh, qPrintable(summary));
        // A panel that follows the sun gives a third more than one fixed south at 45 degrees.
        QVERIFY2(azimuthFault || elevationFault || harvest.panelWh >= 1.3 * harvest.fixedWh,
                 qPrintable(summary));
        QVERIFY2(said.isEmpty() || !run.lines.filter(said).isEmpty(), qPrintable(summary));
        QVERIFY2(run.lines.filter("night:").size() <= 1 && run.lines.filter("parked at").size() <= 1,
                 qPrintable(summary));
        QCOMPARE(run.outOfRange, 0);
        QCOMPARE(run.movesWhileParked, 0);
        QCOMPARE(tracker.canMove(), !said.contains("does not follow"));
        // As few commands as the sun's own travel needs, a search's try or two aside.
        QVERIFY2(harvest.daylightMotorCommands <= harvest.neededCommands * 11 / 10 + 2 ||
                     azimuthFault || elevationFault,
                 qPrintable(summary));
    }

    // The program against the simulator: it turns the panel towards the sun,
    // saying why, and a stop signal ends it with status 0; the motors jammed,
    // it ends with status 6.
    void followsTheSimulator()
    {
        SerialFolder folder;
        SimulatorOptions options;
        options.linkPath = folder.pathOf(1).toStdString();
        options.installation.startHour = 10; // the sun south-east, 52 degrees up
        options.daySeconds = 0;
        options.paced = false;
        RunningSimulator simulator(options);
        const auto [status, said] = track({"--interval", "1"}, 2500);
        QCOMPARE(status, 0);
        QVERIFY2(said.startsWith("tavctl: track: azimuth 180 -> 170, the sun is further east\n"),
                 said);

        options.linkPath = folder.pathOf(2).toStdString();
        options.mode = FaultMode::Jammed;
        options.daySeconds = 20; // the sun going on fast, so that the current falls
        RunningSimulator jammed(options);
        const auto [stuck, told] = track({"--port", "2", "--interval", "1"}, 30000);
        QCOMPARE(stuck, 6);
        QVERIFY2(told.contains("azimuth given up: its read-out stays at 180 after 3 commands\n") &&
                     told.endsWith("tavctl: track: the panel does not follow the motor commands\n"),
                 told);
    }

    // A controller that does not answer is sent no move, and said so once.
    void noMoveSentBlind()
    {
        SerialFolder folder;
        PtyController silent(folder.pathOf(1));
        const auto [status, said] = track({"--interval", "1"}, 3500);
        QCOMPARE(status, 0);
        const QByteArrayList commands = silent.commands();
        QCOMPARE(QSet<QByteArray>(commands.begin(), commands.end()), QSet<QByteArray>{"R\r"});
        QCOMPARE(QString(said), QString("tavctl: track: COM1 (%1): no reply within 1000 ms (from "
                                        "refresh 1)\n")
                                    .arg(folder.pathOf(1)));
    }
};

QTEST_MAIN(TestTrack)
#include "tst_track.moc"
