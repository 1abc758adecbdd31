// tavctl record run as a program against scripted controllers and the
// simulator, each on a real pseudo-terminal: the rows it appends, whole or
// not at all, its schedule, its stops and its lines on stderr.
#include "quiettestcase.h"
#include "runningsimulator.h"
#include "tavctlline.h"

#include <QtTest>

#include <csignal>

class TestRecord : public QuietTestCase
{
    Q_OBJECT

private slots:
    // A recording is appended to, less a torn last row (a power cut mid-write);
    // any other file is left as it is, its time included.
    void recordAppendsOnlyToARecording()
    {
        Line line;
        QVERIFY(QFile::copy(QFINDTESTDATA("data/tavctl-torn.csv"), line.csv));
        const auto [code, out, err] = tavctl({"record", "--count", "1", "--output", line.csv});
        QVERIFY2(code == 0 && err.contains("partial"), err);
        // A row without an answer holds its status and no values; a run
        // where no row measured ends as its last failure.
        for (const auto &[port, status] : {std::pair{"2", 1}, {"3", 3}})
            QCOMPARE(std::get<0>(
                         tavctl({"record", "--port", port, "--count", "1", "-o", line.csv})),
                     status);
        const QList<QStringList> rows = rowsOf(contentOf(line.csv));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[2].mid(1).join(','), QString(13, ',') + "no reply");
        QCOMPARE(rows[3].mid(1).join(','), QString(13, ',') + "No such file or directory");

        const QString foreign = line.csv + ".txt";
        QVERIFY(QFile::copy(QFINDTESTDATA("data/tavctl-status.json"), foreign));
        const QDateTime modified = QFileInfo(foreign).lastModified();
        QCOMPARE(std::get<0>(tavctl({"record", "--output", foreign})), 2);
        QCOMPARE(contentOf(foreign), contentOf(QFINDTESTDATA("data/tavctl-status.json")));
        QCOMPARE(QFileInfo(foreign).lastModified(), modified);
        QCOMPARE(line.com1.commands().size(), 1);
    }

    void recordStopsAfterTheCurrentRow_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("replyAfterMs");
        QTest::newRow("SIGTERM during an exchange") << int(SIGTERM) << 300;
        QTest::newRow("SIGINT while waiting for the next slot") << int(SIGINT) << 0;
    }

    // The interval is long: only a wait that wakes on the signal ends in time.
    void recordStopsAfterTheCurrentRow()
    {
        QFETCH(int, signal);
        QFETCH(int, replyAfterMs);
        Line line;
        line.com1.answerWith({{replyAfterMs, workedExampleReply()}});
        QProcess record;
        record.start(TAVCTL, {"record", "--interval", "30", "--output", line.csv});
        QTRY_COMPARE_WITH_TIMEOUT(line.com1.commands().size(), 1, 10000);
        if (replyAfterMs == 0) { // a second recorder on the file is refused, naming the first
            const auto [code, out, err] = tavctl({"record", "--output", line.csv});
            QVERIFY2(code == 2 && err.contains(QString("(PID %1)").arg(record.processId()).toUtf8()),
                     err);
        }
        QTest::qWait(replyAfterMs > 0 ? 100 : 500); // within the exchange, or after it
        ::kill(pid_t(record.processId()), signal);
        QVERIFY(record.waitForFinished(3000));
        QCOMPARE(record.exitStatus() == QProcess::NormalExit ? record.exitCode() : -1, 0);
        QCOMPARE(rowsOf(contentOf(line.csv)).value(0).mid(14), QStringList{"ok"});
    }

    // On stderr, terminal or not: the first failure, measuring again, and a summary.
    void recordTellsEachChangeOfStatus()
    {
        Line line;
        QProcess record;
        record.start(TAVCTL, {"record", "--port", "5", "--interval", "0.6", "--count", "3",
                              "--output", line.csv});
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(line.csv).count('\n'), 2, 5000);
        PtyController com5(line.folder.pathOf(5), {{0, workedExampleReply()}});
        QVERIFY(record.waitForFinished(10000));
        QCOMPARE(record.exitCode(), 0);
        const QString dir = QFileInfo(line.csv).path();
        QCOMPARE(QString(record.readAllStandardError()),
                 "tavctl: record: COM5: no COM5 in TAV_SERIAL_DIR (" + dir +
                     ") (from row 1)\n"
                     "tavctl: record: COM5 (" +
                     dir +
                     "/COM5): measuring again (row 2)\n"
                     "tavctl: record: 3 rows written to " +
                     line.csv + ", 1 without a measurement\n");
    }

    // The live line shows on a terminal only while the recording runs in its foreground.
    void liveLineOnlyInTheForeground()
    {
        Line line;
        const QString record = QString("%1 record --count 1 --output %2").arg(TAVCTL, line.csv);
        for (const auto &[shell, shown] :
             {std::pair{record, true}, std::pair{"set -m; " + record + " & wait", false}}) {
            QProcess terminal;
            terminal.start("script", {"-qec", "sh -c '" + shell + "'", "/dev/null"});
            QVERIFY(terminal.waitForFinished(10000));
            QCOMPARE(terminal.readAllStandardOutput().contains("\r\033[Ktavctl: record: 1 row"), shown);
        }
    }

    // A row that could not be written whole is cut off again: the file still
    // ends with its last whole row.
    void recordStopsAtAFileThatCannotGrow()
    {
        Line line;
        const QByteArray before = QByteArray(recordingHeader) + "\n2026-12-07T10:00:00.000+01:00" +
                                  QByteArray(14, ',') + "no reply\n";
        QFile file(line.csv);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
        file.close();
        QProcess record;
        record.start("prlimit", {QString("--fsize=%1").arg(before.size() + 40), TAVCTL, "record",
                                 "--count", "2", "--output", line.csv});
        QVERIFY(record.waitForFinished(10000));
        QCOMPARE(record.exitCode(), 4);
        QVERIFY(record.readAllStandardError().contains(": File too large;"));
        QCOMPARE(contentOf(line.csv), before);
    }

    // Row k at start + k × interval, without drift; killed mid-run, every row whole.
    void recordingOfTheSimulator()
    {
        Line line;
        SimulatorOptions options;
        options.linkPath = line.folder.pathOf(5).toStdString();
        RunningSimulator simulator(options);
        QProcess record;
        record.start(TAVCTL, {"record", "--port", "5", "--interval", "0.4", "--output", line.csv});
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(line.csv).count('\n') > 5, 10000);
        record.kill(); // SIGKILL, in the middle of whatever it was doing
        QVERIFY(record.waitForFinished(5000));
        QCOMPARE(record.readAllStandardError(), QByteArray()); // no status line off a terminal
        const QList<QStringList> rows = rowsOf(contentOf(line.csv));
        QVERIFY(rows.size() >= 5);
        const QDateTime start = QDateTime::fromString(rows.first().first(), Qt::ISODateWithMs);
        qint64 previous = -1;
        for (const QStringList &row : rows) { // late rows skip slots, never leave the grid
            const qint64 ms = start.msecsTo(QDateTime::fromString(row.first(), Qt::ISODateWithMs));
            QVERIFY2(qAbs(ms - (ms + 200) / 400 * 400) < 50 && (ms + 200) / 400 > previous,
                     qPrintable(row.first()));
            previous = (ms + 200) / 400;
            QCOMPARE(row.mid(12), QString("180,45,ok").split(',')); // the panel faces south
        }
    }
};

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
