// tavctl's front run as a program against scripted controllers, each on a
// real pseudo-terminal: the bytes each command puts on the line, what it
// prints, its refusals and exit statuses, and the libraries it loads.
#include "availableports.h"
#include "quiettestcase.h"
#include "tavctlline.h"

#include <QtSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

// The libraries tavctl's process has mapped once it has come to write its
// output: its standard output is a pipe filled beforehand, so that the first
// write holds it there while its maps are read.
QStringList librariesAtFirstOutput(const QStringList &arguments)
{
    int out[2];
    if (::pipe(out) != 0)
        return {"no pipe"};
    ::fcntl(out[1], F_SETFL, O_NONBLOCK);
    static const char fill[4096] = {};
    while (::write(out[1], fill, sizeof fill) > 0) {
    }
    ::fcntl(out[1], F_SETFL, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<QByteArray> words{TAVCTL};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn(&pid, TAVCTL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    const QString proc = QString("/proc/%1/").arg(pid);
    QStringList libraries; // of a process held in write(1, ...)
    if (!QTest::qWaitFor([&] { return contentOf(proc + "syscall").startsWith("1 0x1 "); }, 10000))
        libraries << "never wrote";
    for (const QByteArray &line : contentOf(proc + "maps").split('\n'))
        if (line.contains(".so"))
            libraries << QFileInfo(line.mid(line.lastIndexOf(' ') + 1)).fileName();
    char drain[65536];
    while (::read(out[0], drain, sizeof drain) > 0) {
    }
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    libraries.removeDuplicates();
    return libraries;
}

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
              "record --output " + line.csv, plot, QString("ports"), QString("track")})
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

    // A one-shot command loads only what it uses: no widgets, Qt Charts, Qt Svg
    // or libmosquitto, which plot and mqtt, programs of their own, load.
    void oneShotsLoadOnlyWhatTheyUse()
    {
        Line line;
        for (const char *command : {"status", "send R", "motor up", "light all 5", "ports",
                                    "--help", "--version", "status --help"}) {
            const QStringList libraries = librariesAtFirstOutput(QString(command).split(' '));
            QVERIFY2(libraries.filter(QRegularExpression("^libQt5Core\\.so")).size() == 1,
                     qPrintable(command + (": " + libraries.join(' '))));
            QVERIFY2(libraries.filter(QRegularExpression("^lib(Qt5(Gui|Widgets|Charts|Svg)|mosquitto)"))
                         .isEmpty(),
                     qPrintable(command + (": " + libraries.join(' '))));
        }
    }

    // Output that stdout does not take is a failure, not a success: a reply,
    // the list of ports, a help, the version.
    void anOutputThatCannotBeWrittenFails()
    {
        Line line;
        for (const char *command : {"status", "ports", "status --help", "--help", "--version"}) {
            QProcess tavctl;
            tavctl.setStandardOutputFile("/dev/full");
            tavctl.start(TAVCTL, QString(command).split(' '));
            QVERIFY(tavctl.waitForFinished(5000));
            const QByteArray said = tavctl.readAllStandardError();
            QVERIFY2(tavctl.exitCode() == 4 && said.startsWith("tavctl: ") &&
                         said.endsWith("could not be written to stdout: No space left on device\n"),
                     command + (": " + said));
        }
    }

    // A TAV_SERIAL_DIR that is not a folder is said, by ports and by a command
    // that would open a port there.
    void aLinkFolderThatIsNotOne()
    {
        qputenv("TAV_SERIAL_DIR", "/nowhere/tav");
        const auto [status, out, err] = tavctl({"status"});
        const auto [listed, list, said] = tavctl({"ports"});
        qunsetenv("TAV_SERIAL_DIR");
        QCOMPARE(status, 3);
        QCOMPARE(err, QByteArray("tavctl: status: COM1: TAV_SERIAL_DIR (/nowhere/tav) is not a folder\n"));
        QVERIFY2(listed == 0 && said.startsWith("tavctl: ports: TAV_SERIAL_DIR (/nowhere/tav) is not a "
                                                "folder: no port answers to a number\n"),
                 said);
    }

    // Where several battery flags are set, the window's precedence: charging,
    // empty, full; whole volts keep their decimal in JSON. The battery's power
    // is into it positive: a current sent as a magnitude goes in while the
    // charging flag is set, out otherwise; a signed one is read as it is.
    void batteryStateAndPower()
    {
        Line line;
        for (const auto &[flags, ibat, word, pbat] :
             {std::tuple{"000000", "012", "Indéterminé", "-1.5"}, {"000101", "012", "Vide", "-1.5"},
              {"010101", "012", "En charge", "1.5"}, {"010000", "-30", "En charge", "-3.8"}}) {
            QByteArray reply = withBytesAt(workedExampleReply(), 37, flags);
            line.com1.answerWith({{0, withBytesAt(withBytesAt(reply, 34, ibat), 25, "130")}});
            const QByteArray out = std::get<1>(tavctl({"status", "--format", "json"}));
            QVERIFY2(out.contains("\"batterie\": \"" + QByteArray(word) + '"') &&
                         out.contains("\"vpan_V\": 13.0\n") && out.contains("\"ppan_W\": 5.2,\n") &&
                         out.contains("\"pbat_W\": " + QByteArray(pbat) + ",\n"),
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

        // The advice fits the device: the dialout group for one of its group,
        // its owner for any other (here a pseudo-terminal, group tty).
        const QString pty = QFileInfo(line.folder.pathOf(1)).canonicalFilePath();
        QFile::setPermissions(pty, {});
        const bool dialout = ::getgrnam("dialout");
        for (const QString &group : dialout ? QStringList{"dialout", "tty"} : QStringList{"tty"}) {
            QProcess::execute("chgrp", {group, pty});
            QElapsedTimer clock;
            clock.start();
            if (geteuid() == 0) // root opens anything unless it gives up the capability to
                status.start("setpriv", {"--bounding-set=-dac_override,-dac_read_search", TAVCTL,
                                         "status"});
            else
                status.start(TAVCTL, {"status"});
            QVERIFY(status.waitForFinished(5000) && status.exitCode() == 3 && clock.elapsed() < 1000);
            const QString said = status.readAllStandardError();
            QVERIFY2(said.contains(group == "dialout"
                                       ? "/COM1): permission denied; add the user to the dialout group"
                                       : "/COM1): permission denied; " + pty + " belongs to root, group "
                                             "tty, mode ---------, which the dialout group does not open"),
                     qPrintable(said));
        }
    }
};

QTEST_MAIN(TestTavctl)
#include "tst_tavctl.moc"
