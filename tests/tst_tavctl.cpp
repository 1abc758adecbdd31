// tavctl run as a program against a scripted controller and the simulator, each
// on a real pseudo-terminal: the bytes each command puts on the line, what it
// prints, its refusals and exit statuses, and the file record writes.
#include "availableports.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "recording.h"
#include "runningsimulator.h"
#include "testsupport.h"

#include <QtSerialPort>
#include <QtTest>

#include <csignal>
#include <sys/inotify.h>
#include <unistd.h>

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

// Whether any of the devices behind some links was opened since the watch began.
class OpenWatch
{
public:
    explicit OpenWatch(const QStringList &links) : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const QString &link : links)
            inotify_add_watch(fd, qPrintable(link), IN_OPEN);
    }
    ~OpenWatch() { ::close(fd); }
    bool opened() const
    {
        char events[4096];
        return ::read(fd, events, sizeof events) > 0;
    }

private:
    int fd;
};

// A folder of ports: COM1 answers every command with the worked example, COM2
// never answers, COM3 does not exist, COM4 answers the worked example cut
// short of its last byte, COM6 is a link that leads nowhere.
struct Line
{
    SerialFolder folder;
    PtyController com1{folder.pathOf(1), {{0, workedExampleReply()}}}, com2{folder.pathOf(2)};
    PtyController com4{folder.pathOf(4), {{0, workedExampleReply().left(66)}}};
    bool com6 = QFile::link(folder.pathOf(6) + ".gone", folder.pathOf(6));
    OpenWatch watch{{folder.pathOf(1), folder.pathOf(2), folder.pathOf(4)}};
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
        QTest::addColumn<QByteArray>("said");     // after "tavctl: COMMAND: ", when given
        for (const QByteArray &line :
             contentOf(QFINDTESTDATA("data/tavctl-commands.txt")).split('\n')) {
            const int arrow = line.contains(" => ") ? line.indexOf(" => ") : line.size();
            const QList<QByteArray> words = line.left(arrow).simplified().split(' ');
            QStringList columns;
            for (const QByteArray &word : words)
                columns.append(QByteArray::fromPercentEncoding(word == "''" ? "" : word));
            if (words.size() >= 4 && !line.startsWith('#'))
                QTest::newRow(words.mid(3).join(' ')) << columns << line.mid(arrow + 4);
        }
    }

    void commandLines()
    {
        QFETCH(QStringList, columns);
        QFETCH(QByteArray, said);
        const int status = columns.at(0).toInt();
        const QString printed = columns.at(2);
        Line line;
        const QString folder = QFileInfo(line.folder.pathOf(1)).path();
        columns.replaceInStrings("FOLDER", folder);
        const auto [code, out, err] = tavctl(columns.mid(3));
        QCOMPARE(code, status);
        const QByteArray sent = columns.at(1).toUtf8();
        QCOMPARE((line.com1.commands() + line.com2.commands() + line.com4.commands()).join(), sent);
        QCOMPARE(line.watch.opened(), !sent.isEmpty()); // nothing sent: no port even opened
        const QByteArray voice = "tavctl: " + columns.at(3).toUtf8() + ": ";
        if (status != 0) // one line in tavctl's voice that says why, and only a reply on stdout
            QVERIFY2(err.startsWith(voice) && err.count('\n') == 1 && !err.endsWith(".\n") &&
                         out.isEmpty() == (printed == "-"),
                     err);
        QSerialPort missing(line.folder.pathOf(6)); // for the toolkit's own text
        missing.open(QIODevice::ReadWrite);
        if (!said.isEmpty())
            QCOMPARE(QString(err), voice + QString(said).replace("FOLDER", folder).replace(
                                               "ERROR", missing.errorString()) + '\n');
        const QRegularExpression time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
        if (printed != "-")
            QCOMPARE(QString::fromUtf8(out).replace(time, "TIME"),
                     QString::fromUtf8(contentOf(QFINDTESTDATA("data/" + printed))));
    }

    // Every help option of every command prints its help and does nothing else.
    void helpNeverActs()
    {
        Line line;
        const QString plot = "plot " + line.csv + " --output " + line.csv + ".png";
        for (const QString &command :
             {QString("status"), QString("send R"), QString("motor up"), QString("light all 5"),
              "record --output " + line.csv, plot, QString("ports")})
            for (const char *help : {"-h", "--help", "--help-all"}) {
                const auto [code, out, err] = tavctl(command.split(' ') << help);
                QVERIFY2(code == 0 && err.isEmpty() &&
                             out.startsWith("Usage: tavctl " + command.section(' ', 0, 0).toUtf8()),
                         qPrintable(command + ' ' + help));
            }
        QVERIFY(!line.watch.opened() && !QFile::exists(line.csv));
    }

    // Only a reply of the status reply's shape is a measurement; any other is
    // "bad reply", its bytes shown escaped on stderr, at most 80 of them; so
    // are replies back to back, and a collection cut at its cap. A recorded
    // row says the same.
    void onlyAStatusReplyMeasures_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("measured");
        QTest::addColumn<QByteArray>("message"); // after "tavctl: status: COM1: ", when given
        const QByteArray example = workedExampleReply();
        const auto row = [](const char *name, const QByteArray &reply, bool measured,
                            const QByteArray &message = {}) {
            QTest::newRow(name) << reply << measured << message;
        };
        row("blank padding, bytes past 67", withBytesAt(example, 5, " 45"), true);
        row("signs", withBytesAt(withBytesAt(example, 2, "+12"), 34, " -5"), true);
        row("escaped", QByteArray("S:12\"\\\0\r\n", 9), false,
            "the reply is not a status reply: 9 bytes, \"S:12\\\"\\\\\\x00\\r\\n\"");
        row("67 bytes less one", example.left(66), false);
        row("NUL cuts a number", withBytesAt(example, 30, QByteArray(1, 0)), false);
        row("blank after a number", withBytesAt(example, 64, "45 "), false);
        row("tab before a number", withBytesAt(example, 61, "\t90"), false);
        row("sign alone", withBytesAt(example, 28, "  -"), false);
        row("NUL in a flag", withBytesAt(example, 40, QByteArray(1, 0)), false);
        row("noise", QByteArray(1000, 'x'), false,
            "the reply is not a status reply: 1000 bytes, the first 80 \"" + QByteArray(80, 'x') +
                '"');
        row("two replies", example + withBytesAt(example, 2, "121"), false,
            "the reply holds more than one status reply: 138 bytes");
        row("a reply, then a different frame", example + withBytesAt(example, 20, "x"), true);
        row("never pausing", example + QByteArray(5000, 'x'), false,
            "the controller never paused: 4096 bytes in # ms");
    }
    void onlyAStatusReplyMeasures()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, measured);
        QFETCH(QByteArray, message);
        Line line;
        line.com1.answerWith({{0, reply}});
        const auto [code, out, err] = tavctl({"status", "--format", "csv"});
        QCOMPARE(code, measured ? 0 : 1);
        QVERIFY2(out.endsWith(measured ? ",ok\n" : QByteArray(14, ',') + "bad reply\n"), out);
        const QString said = "tavctl: status: COM1 (" + line.folder.pathOf(1) + "): " + message;
        if (!message.isEmpty()) // # stands for a number
            QVERIFY2(QRegularExpression(
                         '^' + QRegularExpression::escape(said).replace("\\#", "\\d+") + "\n$")
                         .match(err)
                         .hasMatch(),
                     err);
        QCOMPARE(std::get<0>(tavctl({"record", "--count", "1", "-o", line.csv})), measured ? 0 : 1);
        QCOMPARE(rowsOf(contentOf(line.csv)).value(0).mid(1).join(','),
                 QString(out).section('\n', 1).section(',', 1).trimmed());
    }

    // The ports list every link with where it leads, and every port the
    // system reports, numbered by no link there; as text and as JSON.
    void portsListsTheLinks()
    {
        Line line;
        QString links;
        for (int n : {1, 2, 4})
            links += QString("COM%1  %2 -> %3\n")
                         .arg(n)
                         .arg(line.folder.pathOf(n),
                              QFileInfo(line.folder.pathOf(n)).canonicalFilePath());
        const QString text = QString::fromUtf8(std::get<1>(tavctl({"ports"})));
        QVERIFY2(text.startsWith(links), qPrintable(text));
        for (const QString &other : text.mid(links.size()).split('\n', Qt::SkipEmptyParts))
            QVERIFY2(other.startsWith("none  /dev/") &&
                         other.endsWith("(no link to it in TAV_SERIAL_DIR)"),
                     qPrintable(other));
        const QJsonArray json =
            QJsonDocument::fromJson(std::get<1>(tavctl({"ports", "--format", "json"}))).array();
        QCOMPARE(json.size(), text.count('\n'));
        QCOMPARE(json[2].toObject()["link_target"].toString(),
                 QFileInfo(line.folder.pathOf(4)).canonicalFilePath());
    }

    // --verbose shows the exchange's log as the panel writes it, its list of ports included.
    void verboseShowsThePanelsLog()
    {
        Line line;
        const QString log = QString::fromUtf8(std::get<2>(tavctl({"status", "--verbose"})));
        const QStringList ports = QStringList("Ports disponibles :") + lookUpPort(1, true).lines;
        QVERIFY2(log.startsWith(ports.join('\n') + "\nnumport= \"COM1\"\nPort ouvert") &&
                     log.endsWith("\nPort fermé.\n"),
                 qPrintable(log));
    }

    // A reply that stdout does not take is a failure, not a success.
    void aReplyThatCannotBeWrittenFails()
    {
        Line line;
        QProcess status;
        status.setStandardOutputFile("/dev/full");
        status.start(TAVCTL, {"status"});
        QVERIFY(status.waitForFinished(5000) && status.exitCode() == 4);
        QVERIFY(status.readAllStandardError().contains("stdout: No space left on device"));
    }

    // Where several battery flags are set, the window's precedence: charging,
    // empty, full; and whole volts keep their decimal in JSON.
    void batteryStateAsAWord()
    {
        Line line;
        for (const auto &[flags, word] :
             {std::pair{"000000", "Indéterminé"}, {"000101", "Vide"}, {"010101", "En charge"}}) {
            line.com1.answerWith(
                {{0, withBytesAt(withBytesAt(workedExampleReply(), 37, flags), 25, "130")}});
            const QByteArray out = std::get<1>(tavctl({"status", "--format", "json"}));
            QVERIFY2(out.contains("\"batterie\": \"" + QByteArray(word) + '"') &&
                         out.contains("\"vpan_V\": 13.0\n"),
                     out);
        }
    }

    // Times are the local time with its offset, here half an hour off the hour.
    void timesInTheLocalZone()
    {
        Line line;
        QProcess status;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TZ", "IST-5:30");
        status.setProcessEnvironment(environment);
        status.start(TAVCTL, {"status", "--format", "csv"});
        QVERIFY(status.waitForFinished(5000) && status.exitCode() == 0);
        const QString time = QString(status.readAllStandardOutput()).section('\n', 1).section(',', 0, 0);
        QVERIFY2(time.endsWith("+05:30"), qPrintable(time));
        const QDateTime read = QDateTime::fromString(time, Qt::ISODateWithMs);
        QVERIFY2(qAbs(read.msecsTo(QDateTime::currentDateTimeUtc())) < 5000, qPrintable(time));
    }

    // A port another program holds is waited for, by default longer than the
    // panel's longest exchange, then named busy with its holder; a port the
    // user may not open is not waited for, and points to the dialout group.
    void aPortThatCannotBeOpenedSaysWhy()
    {
        Line line;
        QProcess holder, status;
        holder.start(TAV_PORT_HOLDER, {serialDeviceFor(1)});
        QVERIFY(holder.waitForReadyRead(10000) && holder.readLine() == "held\n");
        const auto [code, out, err] = tavctl({"status", "--wait", "0.1"});
        QCOMPARE(err, QString("tavctl: status: COM1 (%1) is busy: another program is using it (PID %2)\n")
                          .arg(line.folder.pathOf(1))
                          .arg(holder.processId())
                          .toUtf8());
        QCOMPARE(code, 3);
        status.start(TAVCTL, {"status"});
        QTest::qWait(2000);
        QVERIFY(line.com1.commands().isEmpty());
        holder.closeWriteChannel(); // the holder lets go, well within the wait
        QVERIFY(status.waitForFinished(5000) && status.exitCode() == 0);
        QCOMPARE(line.com1.commands(), QByteArrayList{"R\r"});

        QFile::setPermissions(QFileInfo(line.folder.pathOf(1)).canonicalFilePath(), {});
        QElapsedTimer clock;
        clock.start();
        if (geteuid() == 0) // root opens anything unless it gives up the capability to
            status.start("setpriv", {"--bounding-set=-dac_override,-dac_read_search", TAVCTL,
                                     "status"});
        else
            status.start(TAVCTL, {"status"});
        QVERIFY(status.waitForFinished(5000) && status.exitCode() == 3 && clock.elapsed() < 1000);
        QVERIFY(status.readAllStandardError().contains("/COM1): permission denied; add the user "
                                                       "to the dialout group"));
    }

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

QTEST_MAIN(TestTavctl)
#include "tst_tavctl.moc"
