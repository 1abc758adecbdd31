// Transcripts of the panel at work, over real pseudo-terminals: what the
// operator (or the code) does, what the controller answers, and what must
// follow: the bytes on the line, the log, what the window shows. The
// transcripts are the text files in transcripts/; the first one, serial.txt,
// explains the notation. Each block ("== name") is one test row.
#include "logcapture.h"
#include "mainwindow.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "runningsimulator.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

#include <map>
#include <memory>

namespace {

// Splits at `separator`, except inside double quotes.
QStringList split(const QString &text, QChar separator)
{
    QStringList parts{QString()};
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == separator && !quoted) {
            parts << QString();
            continue;
        }
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == '\\' && i + 1 < text.size())
            parts.last() += text[i++];
        parts.last() += text[i];
    }
    parts.removeAll(QString());
    return parts;
}

// \r \n \t \0 \\ \" and \xHH.
QByteArray unescape(const QString &text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        const char c = in[++i];
        if (c == 'x') {
            out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c == '0' ? '\0' : c;
        }
    }
    return out;
}

const QString quoted = QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\"");

// A reply: terms joined by +, each a base (example, bytes or "text") and
// suffixes applied in turn: *N repeats, @P="text" writes over from P,
// [A:B] keeps bytes A to B.
QByteArray replyOf(const QString &expression)
{
    static const QRegularExpression part("example|bytes|" + quoted +
                                         "|\\*(\\d+)|@(\\d+)=" + quoted + "|\\[(\\d*):(\\d*)\\]");
    QByteArray all;
    for (const QString &term : split(expression, '+')) {
        QByteArray bytes;
        for (int at = 0; at < term.size();) {
            const auto m = part.match(term, at, QRegularExpression::NormalMatch,
                                      QRegularExpression::AnchoredMatchOption);
            if (!m.hasMatch())
                qFatal("bad reply at %s", qPrintable(term.mid(at)));
            const auto has = [&m](int n) { return m.capturedStart(n) >= 0; };
            if (m.captured() == "example")
                bytes = workedExampleReply();
            else if (m.captured() == "bytes")
                for (int value = 0; value < 256; ++value)
                    bytes += char(value);
            else if (has(1))
                bytes = unescape(m.captured(1));
            else if (has(2))
                bytes = bytes.repeated(m.captured(2).toInt());
            else if (has(3))
                bytes = withBytesAt(bytes, m.captured(3).toInt(), unescape(m.captured(4)));
            else
                bytes = bytes.mid(
                    m.captured(5).toInt(),
                    m.captured(6).isEmpty() ? -1 : m.captured(6).toInt() - m.captured(5).toInt());
            at = m.capturedEnd();
        }
        all += bytes;
    }
    return all;
}

const char *const decoderLabels[] = {
    "valLumEST=",         "valLumOUEST=",     "valLumSUD=",         "valLumNORD=",
    "valVPAN=",           "valVBAT=",         "valIPAN=",           "valIBAT=",
    "valBatteriePleine=", "valBatterieVide=", "valBatterieCharge=", "valAngleAzimut=",
    "valAngleElevation="};

// Check words the transcripts define ("alias NAME OBJECT..."): NAME V... checks
// that each OBJECT shows its V.
QMap<QString, QStringList> aliases;

// What a widget shows: a read-out's number, a button's checked state, a
// slider's or a bar's value, a label's text.
QString shown(const QObject *object)
{
    for (const char *property : {"intValue", "checked", "value", "text"})
        if (object->property(property).isValid())
            return object->property(property).toString();
    return QString();
}

// A line as written, or a regular expression after ~.
bool matches(const QString &line, const QString &expected)
{
    if (!expected.startsWith('~'))
        return line == expected;
    return QRegularExpression("^(?:" + expected.mid(1) + ")$").match(line).hasMatch();
}

// "MS:REPLY" pieces, where MS may be A..B/S (at A, A+S... up to B).
PtyController::Answer answerOf(const QStringList &pieces)
{
    PtyController::Answer answer;
    for (const QString &piece : pieces) {
        const QString when = piece.section(':', 0, 0), what = piece.section(':', 1);
        const int from = when.section("..", 0, 0).toInt();
        const int to =
            when.contains("..") ? when.section("..", 1).section('/', 0, 0).toInt() : from;
        for (int ms = from; ms <= to; ms += qMax(1, when.section('/', 1).toInt()))
            answer.append({ms, what == "hangup" ? QByteArray() : replyOf(what), what == "hangup"});
    }
    return answer;
}

// "sim N" and its options: FIELD=VALUE fixes a field; a mode; paced; hour=H.
// The sun stands still, and the replies leave at once unless paced.
SimulatorOptions simulatorOptions(const QString &link, const QStringList &options)
{
    SimulatorOptions o;
    o.linkPath = link.toStdString();
    o.daySeconds = 0;
    o.latencyMs = 0;
    o.paced = options.contains("paced");
    o.seed = 7;
    for (const QString &option : options) {
        const std::string name = option.section('=', 0, 0).toStdString();
        if (name == "hour")
            o.installation.startHour = option.section('=', 1).toDouble();
        else if (option.contains('='))
            o.fixedFields[name] = option.section('=', 1).toInt();
        else
            Simulator::parseMode(name, o.mode);
    }
    return o;
}

// One transcript: its ports, its window, and what the last action left.
class Transcript
{
public:
    void run(const QStringList &w, const QStringList &block);

private:
    void act(const QStringList &w);
    void checkStatusBar(const QString &expected);
    QStringList transactionLog() const;

    SerialFolder folder;
    std::map<int, std::unique_ptr<PtyController>> ports;
    std::map<int, std::unique_ptr<QProcess>> holders;
    std::map<int, std::unique_ptr<RunningSimulator>> simulators;
    MainWindow window;
    LogCapture log;
    qint64 tookMs = 0;
    std::map<QString, QString> times; // the status bar's {NAME}s, as first seen
};

void Transcript::run(const QStringList &w, const QStringList &block)
{
    const int n = w.value(1).toInt();
    if (w[0] == "port") {
        const auto answer = answerOf(w[2] == "answers"  ? QStringList{"0:" + w[3]}
                                     : w[2] == "script" ? w.mid(3)
                                                        : QStringList());
        if (ports.count(n))
            ports[n]->answerWith(answer);
        else
            ports[n] = std::make_unique<PtyController>(folder.pathOf(n), answer);
    } else if (w[0] == "sim") {
        simulators[n] =
            std::make_unique<RunningSimulator>(simulatorOptions(folder.pathOf(n), w.mid(2)));
    } else if (w[0] == "unplug") {
        ports.erase(n);
    } else if (w[0] == "hold") {
        auto &holder = holders[n] = std::make_unique<QProcess>();
        holder->start(TAV_PORT_HOLDER, {folder.pathOf(n)});
        QVERIFY(holder->waitForReadyRead(10000));
        QCOMPARE(holder->readLine().trimmed(), QByteArray("held"));
    } else if (w[0] == "release") {
        holders[n]->closeWriteChannel(); // the holder lets go when its input closes
        QVERIFY(holders[n]->waitForFinished(10000));
    } else if (w[0] == "sent") {
        QByteArrayList expected;
        for (const QString &command : w.mid(2).filter(QRegularExpression("^(?!nothing$)")))
            expected << unescape(command);
        QCOMPARE(ports.count(n) ? ports[n]->commands() : QByteArrayList(), expected);
        if (ports.count(n))
            ports[n]->clear();
    } else if (w[0] == "log" || w[0] == "logged") { // the whole log, or these lines in order
        QStringList expected, found;
        for (const QString &line : block)
            expected << line.trimmed();
        const QStringList actual = transactionLog();
        for (const QString &line : actual)
            if (found.size() < expected.size() && matches(line, expected[found.size()]))
                found << expected[found.size()];
        QCOMPARE(found, expected);
        QVERIFY2(w[0] == "logged" || actual.size() == expected.size(),
                 qPrintable(actual.join('\n')));
    } else if (w[0] == "values") {
        QStringList expected;
        for (int i = 1; i < w.size(); ++i)
            expected << QString("%1 %2").arg(decoderLabels[i - 1], w[i]);
        QCOMPARE(log.linesStartingWith("val"), expected);
    } else if (w[0] == "received") {
        QCOMPARE(log.linesStartingWith("Données reçues :"),
                 w[1] == "none" ? QStringList() : QStringList{receivedLine(replyOf(w[1]))});
    } else if (w[0] == "took") {
        const QString high = w[1].section("..", 1);
        QVERIFY2(tookMs >= w[1].section("..", 0, 0).toLongLong() &&
                     (high.isEmpty() || tookMs <= high.toLongLong()),
                 qPrintable(QString("took %1 ms").arg(tookMs)));
    } else if (w[0] == "statusbar") {
        checkStatusBar(w.mid(1).join(' '));
    } else if (aliases.contains(w[0]) || w[0] == "shows") {
        QStringList actual, expected = w.mid(1), names = aliases.value(w[0]);
        if (w[0] == "shows")
            for (QString &pair : expected)
                names << pair.section('=', 0, 0), pair = pair.section('=', 1);
        for (const QString &name : names)
            actual << shown(child<QObject>(window, qPrintable(name)));
        QCOMPARE(actual, expected);
    } else {
        act(w);
    }
}

void Transcript::act(const QStringList &w)
{
    log.clear();
    QElapsedTimer clock;
    clock.start();
    if (w[0] == "click")
        child<QAbstractButton>(window, qPrintable(w[1]))->click();
    else if (w[0] == "set")
        child<QAbstractSlider>(window, qPrintable(w[1]))->setValue(w[2].toInt());
    else if (w[0] == "key")
        QTest::keyClick(child<QWidget>(window, qPrintable(w[1])), Qt::Key(QKeySequence(w[2])[0]));
    else if (w[0] == "trigger")
        child<QAction>(window, qPrintable(w[1]))->trigger();
    else if (w[0] == "invoke")
        QVERIFY(QMetaObject::invokeMethod(&window, qPrintable(w[1])));
    else if (w[0] == "portSerie")
        QCOMPARE(window.portSerie(w[1].toInt(), unescape(w[2])), w[4].toInt());
    else if (w[0] == "decode")
        QCOMPARE(window.decodeReceivedData(replyOf(w[1])), 0);
    else if (w[0] == "wait")
        QTest::qWait(w[1].toInt());
    else
        QFAIL(qPrintable("unknown step " + w.join(' ')));
    tookMs = clock.elapsed();
}

// The status bar's line, where {NAME} stands for a time of day, the same
// wherever NAME comes again in the transcript, and {#} for a number.
void Transcript::checkStatusBar(const QString &expected)
{
    const QString actual = shown(child<QObject>(window, "labelEtatMesures"));
    QString pattern;
    QStringList unbound;
    int at = 0;
    for (auto tokens = QRegularExpression("\\{(\\w+|#)\\}").globalMatch(expected); tokens.hasNext();) {
        const auto token = tokens.next();
        const QString name = token.captured(1);
        pattern += QRegularExpression::escape(expected.mid(at, token.capturedStart() - at));
        if (name == "#")
            pattern += "\\d+";
        else if (times.count(name))
            pattern += QRegularExpression::escape(times[name]);
        else
            pattern += "(\\d\\d:\\d\\d:\\d\\d)", unbound << name;
        at = token.capturedEnd();
    }
    pattern += QRegularExpression::escape(expected.mid(at));
    const auto match = QRegularExpression("^" + pattern + "$").match(actual);
    QVERIFY2(match.hasMatch(), qPrintable(actual));
    for (int i = 0; i < unbound.size(); ++i)
        times[unbound[i]] = match.captured(i + 1);
}

// The ports the system reports ("  " and a port) depend on the machine.
QStringList Transcript::transactionLog() const
{
    return log.lines().filter(QRegularExpression("^(?!  )"));
}

} // namespace

class TestTranscripts : public QuietTestCase
{
    Q_OBJECT

private slots:
    void transcript_data();
    void transcript();
};

// A step is one line; the indented lines under it (a log block) belong to it.
void TestTranscripts::transcript_data()
{
    QTest::addColumn<QStringList>("steps");
    const QDir folder(TAV_TRANSCRIPTS);
    for (const QString &name : folder.entryList({"*.txt"})) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList steps, lines = QString::fromUtf8(file.readAll()).split('\n') << "==";
        for (const QString &line : lines) {
            if (line.startsWith("==") && !steps.isEmpty())
                QTest::newRow(qPrintable(name + ": " + steps.takeFirst())) << steps;
            if (line.startsWith("=="))
                steps = QStringList{line.mid(2).trimmed()};
            else if (line.startsWith("alias "))
                aliases[split(line, ' ')[1]] = split(line, ' ').mid(2);
            else if (line.startsWith("  ") && steps.size() > 1)
                steps.last() += '\n' + line;
            else if (!line.trimmed().isEmpty() && !line.startsWith('#') && !steps.isEmpty())
                steps << line.section(" #", 0, 0).trimmed();
        }
    }
}

void TestTranscripts::transcript()
{
    QFETCH(QStringList, steps);
    Transcript transcript;
    for (const QString &step : steps) {
        const QStringList lines = step.split('\n');
        transcript.run(split(lines.first(), ' '), lines.mid(1));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable("at: " + lines.first()));
    }
}

QTEST_MAIN(TestTranscripts)
#include "tst_transcripts.moc"
