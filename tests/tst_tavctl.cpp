// tavctl run as a program against a scripted controller and the simulator, each
// on a real pseudo-terminal: the bytes each command puts on the line, what it
// prints, its refusals and exit statuses, and the file record writes.
#include "portnames.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "recording.h"
#include "runningsimulator.h"
#include "testsupport.h"

#include <QtSerialPort>
#include <QtTest>

#include <csignal>

namespace {

// Runs tavctl to its end: its exit status (-1 for a crash), stdout and stderr.
std::tuple<int, QByteArray, QByteArray> tavctl(const QStringList &arguments)
{
    QProcess process;
    process.start(TAVCTL, arguments);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A recording's rows split into fields; none at all unless every line is
// whole: the header, then rows of fifteen fields, each ended by LF.
QList<QStringList> rowsOf(const QByteArray &content)
{
    const QRegularExpression whole(
        QString("^%1\n([^,\n]*(,[^,\n]*){14}\n)*$").arg(recordingHeader));
    QList<QStringList> rows;
    for (const QString &line :
         QString::fromUtf8(content).split('\n').mid(1, content.count('\n') - 1))
        rows.append(line.split(','));
    return whole.match(QString::fromUtf8(content)).hasMatch() ? rows : QList<QStringList>();
}

// A folder of ports: COM1 answers every command with the worked example, COM2
// never answers, COM3 does not exist.
struct Line
{
    SerialFolder folder;
    PtyController com1{folder.pathOf(1), {{0, workedExampleReply()}}}, com2{folder.pathOf(2)};
    const QString csv = QFileInfo(folder.pathOf(1)).path() + "/recording.csv";
};

} // namespace

class TestTavctl : public QuietTestCase
{
    Q_OBJECT

private slots:
    // Command lines, their bytes and what they print, from data/tavctl-commands.txt.
    void commandLines_data()
    {
        QTest::addColumn<QStringList>("columns"); // decoded
        for (const QByteArray &line :
             contentOf(QFINDTESTDATA("data/tavctl-commands.txt")).split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            QStringList columns;
            for (const QByteArray &word : words)
                columns.append(QByteArray::fromPercentEncoding(word == "''" ? "" : word));
            if (words.size() >= 4 && !line.startsWith('#'))
                QTest::newRow(words.mid(3).join(' ')) << columns;
        }
    }

    void commandLines()
    {
        QFETCH(QStringList, columns);
        const int status = columns.at(0).toInt();
        const QString printed = columns.at(2);
        Line line;
        const auto [code, out, err] = tavctl(columns.mid(3));
        QCOMPARE(code, status);
        QCOMPARE((line.com1.commands() + line.com2.commands()).join(), columns.at(1).toUtf8());
        if (status != 0) // one line that says why, nothing on stdout
            QVERIFY2(err.startsWith("tavctl: ") && err.count('\n') == 1 && out.isEmpty(), err);
        QSerialPort missing(serialDeviceFor("COM3"));
        if (status == 3 && !missing.open(QIODevice::ReadWrite)) // with the toolkit's own text
            QVERIFY2(err.contains(missing.errorString().toUtf8()), err);
        const QRegularExpression time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
        if (printed != "-")
            QCOMPARE(QString::fromUtf8(out).replace(time, "TIME"),
                     QString::fromUtf8(contentOf(QFINDTESTDATA("data/" + printed))));
    }

    // Where several battery flags are set, the window's precedence: charging, empty, full.
    void batteryStateAsAWord()
    {
        Line line;
        for (const auto &[flags, word] :
             {std::pair{"000000", "Indéterminé"}, {"000101", "Vide"}, {"010101", "En charge"}}) {
            line.com1.answerWith({{0, withBytesAt(workedExampleReply(), 37, flags)}});
            const QByteArray out = std::get<1>(tavctl({"status"}));
            QVERIFY2(out.contains("Etat Batterie : " + QByteArray(word) + '\n'), out);
        }
    }

    void busyPortIsWaitedFor()
    {
        Line line;
        QProcess holder, status;
        holder.start(TAV_PORT_HOLDER, {serialDeviceFor("COM1")});
        QVERIFY(holder.waitForReadyRead(10000) && holder.readLine() == "held\n");
        status.start(TAVCTL, {"status"});
        QTest::qWait(500);
        QVERIFY(line.com1.commands().isEmpty());
        holder.closeWriteChannel(); // the holder lets go, well within the second
        QVERIFY(status.waitForFinished(5000) && status.exitCode() == 0);
        QCOMPARE(line.com1.commands(), QByteArrayList{"R\r"});
    }

    // A recording is appended to, less a torn last row (a power cut mid-write);
    // any other file is left as it is, its time included.
    void recordAppendsOnlyToARecording()
    {
        Line line;
        QVERIFY(QFile::copy(QFINDTESTDATA("data/tavctl-torn.csv"), line.csv));
        const auto [code, out, err] = tavctl({"record", "--count", "1", "--output", line.csv});
        QVERIFY2(code == 0 && err.contains("partial"), err);
        // A row without an answer holds its status and no values.
        for (const char *port : {"2", "3"})
            QCOMPARE(std::get<0>(
                         tavctl({"record", "--port", port, "--count", "1", "--output", line.csv})),
                     0);
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
        QTest::qWait(replyAfterMs > 0 ? 100 : 500); // within the exchange, or after it
        ::kill(pid_t(record.processId()), signal);
        QVERIFY(record.waitForFinished(3000));
        QCOMPARE(record.exitStatus() == QProcess::NormalExit ? record.exitCode() : -1, 0);
        QCOMPARE(rowsOf(contentOf(line.csv)).value(0).mid(14), QStringList{"ok"});
    }

    // Row k at start + k × interval, without drift; killed mid-run, every row whole.
    void recordingOfTheSimulator()
    {
        Line line;
        SimulatorOptions options;
        options.linkPath = line.folder.pathOf(4).toStdString();
        RunningSimulator simulator(options);
        QProcess record;
        record.start(TAVCTL, {"record", "--port", "4", "--interval", "0.4", "--output", line.csv});
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

QTEST_MAIN(TestTavctl)
#include "tst_tavctl.moc"
