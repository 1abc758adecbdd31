// tavctl mqtt run as a process between a real Mosquitto broker and a scripted
// controller on COM1: the retained state, availability and discovery (against
// mqtt-discovery.approved; TAV_APPROVE=1 writes it anew, to be reviewed with
// git diff); the bytes of each command message (data/mqtt-commands.txt); the
// queue's limit; the will; reconnection after the broker restarts; passwords,
// certificates and command lines accepted or refused (data/mqtt-command-lines.txt).
#include "energy.h"
#include "mosquittobroker.h"
#include "ptycontroller.h"
#include "quiettestcase.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>

namespace {

// The worked example with the panel at 13.0 V, whose decimal the state keeps.
const QByteArray reply = withBytesAt(workedExampleReply(), 25, "130");

// tavctl mqtt for as long as this lives, its stderr gathered as it comes.
struct Bridge
{
    QProcess process;
    QByteArray log;
    explicit Bridge(const QStringList &arguments)
    {
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { log += process.readAllStandardError(); });
        process.start(TAVCTL, QStringList{"mqtt"} + arguments);
    }
    ~Bridge() { process.kill(), process.waitForFinished(); }
    // Its exit status, after `signal` if given; -1 for a crash or a bridge still running.
    int end(int signal = 0)
    {
        if (signal && process.state() == QProcess::Running)
            ::kill(pid_t(process.processId()), signal);
        process.waitForFinished(5000);
        const bool ended = process.state() == QProcess::NotRunning;
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

// A broker, a listener on it, and COM1 answering every command with `reply`.
struct Installation
{
    explicit Installation(bool secured = false) : broker(secured) {}
    SerialFolder folder;
    PtyController com1{folder.pathOf(1), {{0, reply}}};
    MosquittoBroker broker;
    MqttListener listener{broker};
    QStringList arguments(const QString &more = "--id t1") const
    {
        return ("--broker " + broker.url() + " --interval 1 --state-file " + stateFile() + ' ' +
                more)
            .split(' ', Qt::SkipEmptyParts);
    }
    QString stateFile() const // the energy totals between runs
    {
        return QFileInfo(folder.pathOf(1)).path() + "/state.json";
    }
    QByteArrayList commands() const // what reached the line, less the refreshes
    {
        QByteArrayList sent = com1.commands();
        sent.removeAll("R\r");
        return sent;
    }
    bool online(const QByteArray &prefix = "tav/t1") const
    {
        return listener.waitFor(prefix + "/availability", "online") &&
               listener.waitFor(prefix + "/state");
    }
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A table of data/: a row a line, its columns separated by blanks ('' is empty).
QList<QByteArrayList> rowsOf(const QString &name)
{
    QList<QByteArrayList> rows;
    for (const QByteArray &line : contentOf(QFINDTESTDATA("data/" + name)).split('\n')) {
        QByteArrayList columns = line.simplified().split(' ');
        for (QByteArray &column : columns)
            column = column == "''" ? "" : column;
        if (!line.startsWith('#') && !line.isEmpty())
            rows.append(columns);
    }
    return rows;
}

} // namespace

class TestMqtt : public QuietTestCase
{
    Q_OBJECT

private slots:
    // One run: state, availability and discovery, all retained at QoS 1; each
    // command message's bytes or its refusal, and a state after each exchange;
    // discovery again when Home Assistant comes online.
    void stateCommandsAndDiscovery()
    {
        Installation site;
        Bridge bridge(site.arguments());
        QVERIFY(site.online());
        for (const MqttMessage &message : site.listener.messages())
            QVERIFY2(message.retained && message.qos == 1, message.topic);
        const auto configs = site.listener.retained("homeassistant/");
        QString state = site.listener.retained("tav/t1/state").value("tav/t1/state");
        QVERIFY2(state.contains("\"vpan_V\":13.0") && !state.contains(QRegularExpression("\n|: ")),
                 qPrintable(state));
        QJsonObject expected =
            QJsonDocument::fromJson(contentOf(QFINDTESTDATA("data/tavctl-status.json"))).object();
        expected["vpan_V"] = 13.0;
        expected["ppan_W"] = 5.2;
        expected["suivi_soleil"] = "OFF";
        state.replace(QRegularExpression(R"("\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")"),
                      "\"TIME\"");
        QJsonObject published = QJsonDocument::fromJson(state.toUtf8()).object();
        for (const char *total : {"epan_Wh", "ebat_charge_Wh", "ebat_decharge_Wh"})
            QVERIFY2(published.take(total).toDouble(-1) >= 0, total);
        QCOMPARE(published, expected);

        // Right after a state, before the next refresh: from here each exchange has its state.
        site.listener.clear();
        QVERIFY(site.listener.waitFor("tav/t1/state"));
        site.com1.clear(), site.listener.clear();
        QByteArrayList sent;
        for (const QByteArrayList &row : rowsOf("mqtt-commands.txt")) {
            const QByteArray topic = "tav/t1/" + row[0];
            const QByteArray payload = QByteArray::fromPercentEncoding(row[1]);
            site.listener.publish(topic, {payload});
            const QByteArray words = row.size() > 3 ? QByteArray::fromPercentEncoding(row[3]) : payload;
            const QByteArray logged = row[2] == "-"
                                          ? "ignored on " + topic + ": \"" +
                                                QByteArray(payload).replace('"', "\\\"") + '"'
                                          : "command " + topic.split('/')[2] + ' ' + words + '\n';
            QTRY_VERIFY2_WITH_TIMEOUT(bridge.log.contains("tavctl: mqtt: " + logged), logged, 3000);
            if (row[2] != "-")
                sent << QByteArray::fromPercentEncoding(row[2]);
            QTRY_COMPARE_WITH_TIMEOUT(site.commands(), sent, 3000);
        }
        QCOMPARE(bridge.log.count("tavctl: mqtt: ignored on "), 13);
        QTRY_COMPARE(site.listener.retained("tav/t1/light/state").value("tav/t1/light/state"),
                 QByteArray("{\"brightness\":42,\"color_mode\":\"brightness\",\"state\":\"ON\"}"));
        QVERIFY(bridge.log.contains("/motor/set: \"north\" is not up, down, left or right\n"));
        QVERIFY(QTest::qWaitFor([&] {
            return site.listener.messages("tav/t1/state").size() == site.com1.commands().size();
        }));

        site.listener.clear();
        site.listener.publish("homeassistant/status", {"online"});
        QVERIFY(site.online() && site.listener.retained("homeassistant/") == configs);
        QString snapshot; // each topic, then its payload indented, keys sorted
        for (auto config = configs.cbegin(); config != configs.cend(); ++config)
            snapshot += config.key() + '\n' + QJsonDocument::fromJson(config.value()).toJson();
        QFile file(TAV_DISCOVERY_SNAPSHOT);
        if (qEnvironmentVariableIntValue("TAV_APPROVE") && file.open(QIODevice::WriteOnly))
            file.write(snapshot.toUtf8()), file.close();
        QCOMPARE(snapshot.split('\n'), QString(contentOf(TAV_DISCOVERY_SNAPSHOT)).split('\n'));
    }

    // A refresh that measures nothing publishes no values, whatever the last
    // good one held: a silent controller, then one that never pauses.
    void aFailedRefreshPublishesNoValues()
    {
        Installation site;
        Bridge bridge(site.arguments());
        QVERIFY(site.online());
        for (const auto &[answer, status] :
             {std::pair{PtyController::Answer{}, "no reply"}, {{{0, reply.repeated(100)}}, "bad reply"}}) {
            site.com1.answerWith(answer);
            const QString wanted = status; // a lambda may not capture a structured binding
            QJsonObject state;
            QVERIFY(QTest::qWaitFor([&] {
                const auto states = site.listener.messages("tav/t1/state");
                state = QJsonDocument::fromJson(states.value(states.size() - 1).payload).object();
                return state["status"] == wanted;
            }, 5000));
            for (const QString &key : state.keys())
                QVERIFY2(QStringList({"time", "status", "suivi_soleil", "epan_Wh", "ebat_charge_Wh",
                                      "ebat_decharge_Wh"})
                                 .contains(key) ||
                             state[key].isNull(),
                         qPrintable(key));
        }
        QVERIFY2(bridge.log.contains("): the controller never paused: 4096 bytes in "), bridge.log);
    }

    // --track: the tracker's moves after each refresh, whether it is on in
    // every state; a motor command turns it off, ON and OFF on its topic.
    void tracksUntilTheOperatorTakesOver()
    {
        Installation site; // the worked example: the sun at azimuth 24, read-outs that never move
        Bridge bridge(site.arguments("--id t1 --track"));
        const auto tracking = [&](const char *onOff) {
            return site.listener.waitFor("tav/t1/state") &&
                   QTest::qWaitFor([&] {
                       const auto states = site.listener.messages("tav/t1/state");
                       return states.last().payload.contains(
                           QByteArray("\"suivi_soleil\":\"") + onOff + '"');
                   });
        };
        QVERIFY(site.online() && tracking("ON"));
        QTRY_VERIFY_WITH_TIMEOUT(bridge.log.contains("tavctl: mqtt: tracking: azimuth given up: its "
                                                     "read-out stays at 90 after 3 commands\n"),
                                 5000);
        QVERIFY2(bridge.log.contains("tavctl: mqtt: tracking on\n") &&
                     bridge.log.contains("tavctl: mqtt: tracking: azimuth 90 -> 90, the sun is further west\n"),
                 bridge.log);
        QCOMPARE(site.commands().mid(0, 3), (QByteArrayList{"K02010\r", "K02010\r", "K02010\r"}));
        site.listener.publish("tav/t1/motor/set", {"up"});
        QTRY_VERIFY(bridge.log.contains("tracking off: the panel was moved by hand (motor up)\n"));
        QVERIFY(tracking("OFF"));
        for (const char *onOff : {"ON", "OFF"}) {
            site.listener.publish("tav/t1/track/set", {onOff});
            QVERIFY(tracking(onOff));
        }
        QVERIFY(bridge.log.endsWith("tavctl: mqtt: tracking on\ntavctl: mqtt: tracking off\n"));
    }

    // Between two measured replies, the mean of their powers times the time
    // between them; nothing across a gap; the battery's power split by its sign.
    void energyMeter()
    {
        EnergyMeter meter;
        const auto at = [&meter](double hour, std::optional<Powers> powers) {
            meter.add(qint64(hour * 3600 * 1000), powers);
        };
        at(0, Powers{10, 4});
        at(1, Powers{20, -2}); // the battery from charging to discharging
        QCOMPARE(meter.totals().produced, 15.0);
        QCOMPARE(meter.totals().charged, 2.0);
        QCOMPARE(meter.totals().discharged, 1.0);
        at(2, std::nullopt); // a reply without a measurement: the gap's hours count for nothing
        at(5, Powers{30, 0});
        QCOMPARE(meter.totals().produced, 15.0);
        at(6, Powers{30, 0});
        QCOMPARE(meter.totals().produced, 45.0);
        meter.raiseTo({40, 5, 0});
        QCOMPARE(meter.totals(), (EnergyTotals{45, 5, 1}));
    }

    // The totals grow while the panel gives current and not across a silent
    // controller; kept in their file across a restart, and on the broker
    // when the file is gone; a file that is not one is kept aside; a file
    // that cannot be written is refused at once.
    void energyTotals()
    {
        Installation site;
        QByteArray sunny = withBytesAt(workedExampleReply(), 25, "150150999500010000");
        site.com1.answerWith({{0, sunny}});
        const auto totals = [&site] {
            const QList<MqttMessage> states = site.listener.messages("tav/t1/state");
            return states.isEmpty() ? std::nullopt : totalsInState(states.last().payload);
        };
        {
            Bridge bridge(site.arguments());
            QVERIFY(site.online());
            QTRY_VERIFY_WITH_TIMEOUT(totals() && totals()->produced >= 0.1, 8000);
            QVERIFY2(bridge.log.contains("state.json: no energy totals yet; they start at zero\n"),
                     bridge.log);
            site.com1.answerWith({}); // silent for 3 s: the problem sensor's status
            QTRY_VERIFY_WITH_TIMEOUT(site.listener.messages("tav/t1/state").last().payload.contains(
                                         "\"status\":\"no reply\""),
                                     5000);
            const EnergyTotals before = *totals();
            QTest::qWait(3000);
            site.listener.clear();
            site.com1.answerWith({{0, sunny}});
            QList<MqttMessage> measured;
            QTRY_VERIFY_WITH_TIMEOUT(
                !(measured = site.listener.messages("tav/t1/state")).isEmpty() &&
                    measured.last().payload.contains("\"status\":\"ok\""),
                5000);
            for (const MqttMessage &state : measured) // the first measured after the gap adds nothing
                if (state.payload.contains("\"status\":\"ok\"")) {
                    QCOMPARE(*totalsInState(state.payload), before);
                    break;
                }
            QCOMPARE(bridge.end(SIGTERM), 0);
        }
        const std::optional<EnergyTotals> kept = totals(); // the last it published
        QVERIFY(kept && kept->produced >= 0.1 && kept->charged > 0 && kept->discharged == 0);
        QVERIFY(totalsInState(contentOf(site.stateFile()))->produced >= kept->produced);
        QFile::remove(site.stateFile()); // the broker's retained state carries them on
        for (const QByteArray &file : {QByteArray(), QByteArray("not totals")}) {
            if (!file.isEmpty()) {
                QFile corrupt(site.stateFile());
                QVERIFY(corrupt.open(QIODevice::WriteOnly) && corrupt.write(file) == file.size());
            }
            site.listener.clear();
            Bridge bridge(site.arguments());
            QVERIFY(site.online());
            QTRY_VERIFY_WITH_TIMEOUT(site.listener.messages("tav/t1/state").size() >= 2, 5000);
            for (const MqttMessage &state : site.listener.messages("tav/t1/state")) // never lower
                QVERIFY2(totalsInState(state.payload)->produced >= kept->produced, state.payload);
            QVERIFY(file.isEmpty() || (bridge.log.contains("not a file of energy totals (kept as ") &&
                                       contentOf(site.stateFile() + ".corrupt") == file));
        }
        Bridge refused(site.arguments("--id t1 --state-file /proc/version/state.json"));
        QCOMPARE(refused.end(), 4);
        QVERIFY2(refused.log.contains("tavctl: mqtt: cannot keep the energy totals in "
                                        "/proc/version/state.json: "),
                 refused.log);
    }

    // --remove empties every retained message the bridge made, and ends.
    void removeEmptiesWhatTheBridgeRetained()
    {
        Installation site;
        {
            Bridge bridge(site.arguments());
            QVERIFY(site.online());
            site.listener.publish("tav/t1/light/set", {"2"});
            QTRY_VERIFY(site.listener.retained("tav/t1/light/state").size() == 1);
            QCOMPARE(bridge.end(SIGTERM), 0);
        }
        Bridge remove(site.arguments("--id t1 --remove"));
        QCOMPARE(remove.end(), 0);
        MqttListener late(site.broker); // what a newcomer hears: nothing of tav_t1
        QTest::qWait(1000);
        QCOMPARE(late.retained("tav/t1/").keys(), QByteArrayList());
        QCOMPARE(late.retained("homeassistant/").keys(), QByteArrayList());
        QVERIFY2(remove.log.contains("removed tav/t1 from "), remove.log);
    }

    // The broker is told the largest message the bridge takes, and keeps a
    // larger one from it: the bridge never hears of a 1 MB command, and goes
    // on taking the small ones.
    void largeMessagesNeverReachIt()
    {
        Installation site;
        Bridge bridge(site.arguments());
        QVERIFY(site.online());
        site.listener.publish("tav/t1/motor/set", {QByteArray(1 << 20, 'x'), "up"});
        QTRY_COMPARE(site.commands(), QByteArrayList{"J01010\r"});
        // The log in order up to the command: any word on the large one is in it.
        QTRY_VERIFY2(bridge.log.contains("command motor up\n"), bridge.log);
        QVERIFY2(!bridge.log.contains("ignored on"), bridge.log);
    }

    // Twelve commands that come while one is under way: eight wait, the rest
    // are dropped, each with its line.
    void atMostEightCommandsWait()
    {
        Installation site;
        site.com1.answerWith({{300, reply}});
        Bridge bridge(site.arguments("--id t1 --interval 3600"));
        QVERIFY(site.online());
        site.listener.publish("tav/t1/light/set", {"off"});
        QTRY_COMPARE_WITH_TIMEOUT(site.commands(), QByteArrayList{"E0000\r"}, 3000);
        QByteArrayList levels;
        for (int level = 1; level <= 12; ++level)
            levels << "all " + QByteArray::number(level);
        site.listener.publish("tav/t1/light/set", levels);
        QVERIFY(QTest::qWaitFor([&] { return site.commands().size() == 9; }, 8000));
        QTest::qWait(1000); // one more would have come by now
        QCOMPARE(site.commands().size(), 9);
        for (int i = 0; i < 12; ++i)
            QVERIFY(i < 8 ? site.commands()[i + 1] == "E01" + levels[i].mid(4) + '\r'
                          : bridge.log.contains("tavctl: mqtt: dropped light " + levels[i] +
                                                ": 8 commands already wait\n"));
        QCOMPARE(bridge.log.count("tavctl: mqtt: dropped "), 4);
    }

    // Offline, retained, once: the will, or the bridge's own before it leaves
    // cleanly. On the way, a command on its topics, none when read-only.
    void offlineWhenItEnds()
    {
        const QByteArray host = QSysInfo::machineHostName().toLower().toUtf8();
        for (const auto &[signal, more, prefix] :
             {std::tuple<int, QString, QByteArray>{SIGKILL, "--id t1", "tav/t1"},
              {SIGTERM, "--id t1 --topic site/roof --read-only", "site/roof"},
              {SIGINT, "",
               "tav/" + QString(host).replace(QRegularExpression("[^a-z0-9_-]"), "-").toUtf8() +
                   "-com1"}}) {
            Installation site;
            Bridge bridge(site.arguments(more));
            QVERIFY2(site.online(prefix), prefix);
            // Read-only, the controls are removed: an empty message each; the
            // select of earlier versions, always.
            const bool readOnly = more.contains("read-only");
            for (const MqttMessage &m : site.listener.messages("homeassistant/"))
                QVERIFY2(m.payload.isEmpty() ==
                             (m.topic.contains("/select/") ||
                              (readOnly && QRegularExpression("/(button|light|switch)/").match(m.topic).hasMatch())),
                         m.topic);
            site.listener.clear();
            site.listener.publish(prefix + "/motor/set", {"up"});
            const QByteArray state = prefix + "/state";
            QVERIFY(QTest::qWaitFor([&] { return site.listener.messages(state).size() >= 2; }));
            QCOMPARE(site.commands(), readOnly ? QByteArrayList() : QByteArrayList{"J01010\r"});
            site.listener.clear();
            QCOMPARE(bridge.end(signal), signal == SIGKILL ? -1 : 0);
            QVERIFY(site.listener.waitFor(prefix + "/availability", "offline"));
            QTest::qWait(300); // a will after an unclean end would come now
            const QList<MqttMessage> offline = site.listener.messages(prefix + "/availability");
            QVERIFY2(offline.size() == 1 && offline[0].retained && offline[0].qos == 1, prefix);
            QVERIFY2(signal == SIGKILL || bridge.log.endsWith("tavctl: mqtt: stopped\n"),
                     bridge.log);
        }
    }

    // Down for 1.5 s: the retry after 1 s fails, the next comes 2 s later; then
    // down for a moment: 1 s again; then for long: back within 8 s of the
    // broker, the pause never growing past that. Each time, all announced again; a command
    // the broker kept retained is never carried out, one retained while connected is.
    void reconnectsAfterTheBrokerRestarts()
    {
        Installation site;
        site.listener.publish("tav/t1/motor/set", {"up"}, true);
        Bridge bridge(site.arguments());
        QVERIFY(site.online());
        QTRY_VERIFY_WITH_TIMEOUT(bridge.log.contains("motor/set: a retained message, not a command "
                                                     "sent now; cleared from the broker\n"),
                                 3000);
        QTRY_VERIFY(site.listener.retained("tav/t1/motor/set").value("tav/t1/motor/set") == "");
        const auto configs = site.listener.retained("homeassistant/");
        for (const auto &[downMs, earliestMs, latestMs] :
             {std::tuple{1500, 2500, 4000}, {0, 800, 2000}, {16000, 16000, 26000}}) {
            const int connections = bridge.log.count("tavctl: mqtt: connected to ");
            QElapsedTimer clock;
            clock.start();
            site.broker.stop();
            site.listener.clear();
            QTest::qWait(downMs);
            site.broker.start();
            QVERIFY(QTest::qWaitFor(
                [&] { return bridge.log.count("tavctl: mqtt: connected to ") > connections; },
                latestMs));
            QVERIFY2(clock.elapsed() >= earliestMs && clock.elapsed() <= latestMs,
                     qPrintable(QString::number(clock.elapsed())));
            // An emptied topic, which the broker kept nothing of, may not be heard again.
            QVERIFY(site.online());
            const auto announced = site.listener.retained("homeassistant/");
            for (auto config = configs.cbegin(); config != configs.cend(); ++config)
                QVERIFY2(config.value().isEmpty() || announced.value(config.key()) == config.value(),
                         config.key());
        }
        const QString lost =
            "disconnected from " + site.broker.url() + ": .+; trying again in 1 s\n";
        QVERIFY2(QString(bridge.log).contains(QRegularExpression(lost)), bridge.log);
        QCOMPARE(site.commands(), QByteArrayList());
        // Published retained while the bridge listens, it comes live: carried out.
        site.listener.publish("tav/t1/motor/set", {"down"}, true);
        QTRY_COMPARE(site.commands(), QByteArrayList{"J02010\r"});
    }

    void connectsOrIsRefused_data()
    {
        QTest::addColumn<QByteArrayList>("row");
        for (const QByteArrayList &row : rowsOf("mqtt-command-lines.txt"))
            QTest::newRow(row[0] + ": " + row.mid(2).join(' ')) << row;
    }

    // Refused: one line, and never a second attempt; a usage error: not even one.
    void connectsOrIsRefused()
    {
        QFETCH(QByteArrayList, row);
        const int status = row[0].toInt();
        const QByteArray password = QByteArray::fromPercentEncoding(row[1]);
        Installation site(true);
        const QString file = QFileInfo(site.folder.pathOf(1)).path() + "/password";
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(password) == password.size());
        out.close();
        QString line = row.mid(2).join(' ');
        if (!line.contains("%4") && password != "-")
            qputenv("TAV_MQTT_PASSWORD", password);
        const QStringList values{QString::number(site.broker.port()),
                                 QString::number(site.broker.port(MosquittoBroker::Password)),
                                 QString::number(site.broker.port(MosquittoBroker::Tls)),
                                 file,
                                 site.broker.caFile(),
                                 file + ".none"};
        for (int i = 0; i < values.size(); ++i)
            line.replace(QString("%%1").arg(i + 1), values[i]);
        Bridge bridge(line.split(' '));
        qunsetenv("TAV_MQTT_PASSWORD");
        QVERIFY(status != 0 || site.online());
        QCOMPARE(bridge.end(status == 0 ? SIGTERM : 0), status);
        QVERIFY2(status == 0 ||
                     (bridge.log.startsWith("tavctl: mqtt: ") && bridge.log.count('\n') == 1),
                 bridge.log);
        const QRegularExpression attempt(
            QString("New connection from .* on port (%1|%2)\\.$").arg(values[1], values[2]));
        QCOMPARE(QString(site.broker.log()).split('\n').filter(attempt).size(),
                 status == 2 ? 0 : 1);
        QVERIFY(status != 2 || site.com1.commands().isEmpty());
    }
};

QTEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
