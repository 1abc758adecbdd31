#include "mosquittobroker.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// Runs a helper program to its end; one that fails ends the suite, saying why.
void run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
}

} // namespace

MosquittoBroker::MosquittoBroker(int listeners)
{
    QTcpServer servers[3]; // all bound at once, so three different ports
    for (int i = 0; i < 3; ++i)
        ports[i] = servers[i].listen(QHostAddress::LocalHost) ? servers[i].serverPort() : 0;
    // As root, the broker would become user "mosquitto", who cannot read this folder.
    QString config = QString("user %1\nper_listener_settings true\npersistence false\n"
                             "log_dest stderr\nlog_type all\nlistener %2 127.0.0.1\n"
                             "allow_anonymous true\n")
                         .arg(getpwuid(geteuid())->pw_name)
                         .arg(ports[Plain]);
    if (listeners & 1 << Password) {
        run("mosquitto_passwd", {"-b", "-c", dir.filePath("passwords"), "tav", "s3cret"});
        config += QString("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2\n")
                      .arg(ports[Password])
                      .arg(dir.filePath("passwords"));
    }
    if (listeners & 1 << Tls) { // EC keys: a few milliseconds
        const QString key = "req -x509 -days 2 -nodes -newkey ec -pkeyopt "
                            "ec_paramgen_curve:prime256v1 -keyout " +
                            dir.path();
        run("openssl", (key + "/ca.key -out %1 -subj /CN=tav-test-ca").arg(caFile()).split(' '));
        run("openssl", (key + "/server.key -out %1/server.crt -subj /CN=localhost -CA %2 -CAkey "
                              "%1/ca.key -addext subjectAltName=DNS:localhost,IP:127.0.0.1 "
                              "-addext basicConstraints=critical,CA:FALSE")
                           .arg(dir.path(), caFile())
                           .split(' '));
        config += QString("listener %1 localhost\nallow_anonymous true\ncafile %2\n"
                          "certfile %3/server.crt\nkeyfile %3/server.key\n")
                      .arg(ports[Tls])
                      .arg(caFile(), dir.path());
    }
    QFile file(dir.filePath("mosquitto.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) != config.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.close();
    for (QTcpServer &server : servers)
        server.close();
    start();
}

void MosquittoBroker::start()
{
    // A file rather than a pipe: a busy broker never waits for the test to read.
    process.setStandardErrorFile(dir.filePath("log"), QIODevice::Append);
    process.start(TAV_MOSQUITTO, {"-c", dir.filePath("mosquitto.conf")});
    const bool up = QTest::qWaitFor([this] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, ports[Plain]);
        return probe.waitForConnected(100) || process.state() == QProcess::NotRunning;
    });
    if (!up || process.state() != QProcess::Running)
        qFatal("mosquitto did not start: %s", log().constData());
}

QByteArray MosquittoBroker::log() const
{
    QFile file(dir.filePath("log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

MqttListener::MqttListener(const MosquittoBroker &broker) : port(broker.port())
{
    QObject::connect(&sub, &QProcess::readyReadStandardOutput, [this] {
        while (sub.canReadLine()) { // retained, QoS, topic, payload
            const QList<QByteArray> f = sub.readLine().chopped(1).split(' ');
            received.append(
                {f.value(2), f.mid(3).join(' '), f.value(0) == "1", f.value(1).toInt()});
        }
    });
    // MQTT 5 at QoS 2: each message with the retain flag and QoS it was published with.
    sub.start("mosquitto_sub", {"-p", QString::number(port), "-V", "5", "--retain-as-published",
                                "-q", "2", "-t", "#", "-F", "%r %q %t %p"});
    const bool subscribed = QTest::qWaitFor([this] { // back once the subscription holds
        publish("tav-test/subscribed", "yes");
        return waitFor("tav-test/subscribed", {}, 100);
    });
    if (!subscribed)
        qFatal("mosquitto_sub could not subscribe on port %d", port);
    clear();
}

QList<MqttMessage> MqttListener::messages(const QByteArray &topicPrefix) const
{
    QList<MqttMessage> found;
    for (const MqttMessage &message : received)
        if (message.topic.startsWith(topicPrefix))
            found.append(message);
    return found;
}

QMap<QByteArray, QByteArray> MqttListener::retained(const QByteArray &topicPrefix) const
{
    QMap<QByteArray, QByteArray> kept;
    for (const MqttMessage &message : messages(topicPrefix))
        if (message.retained)
            kept.insert(message.topic, message.payload);
    return kept;
}

bool MqttListener::waitFor(const QByteArray &topic, const QByteArray &payload, int ms) const
{
    return QTest::qWaitFor(
        [&] {
            for (const MqttMessage &m : messages(topic))
                if (m.topic == topic && (payload.isNull() || m.payload == payload))
                    return true;
            return false;
        },
        ms);
}

void MqttListener::publish(const QByteArray &topic, const QByteArray &payload) const
{
    QProcess::execute("mosquitto_pub",
                      {"-p", QString::number(port), "-q", "1", "-t", topic, "-m", payload});
}
