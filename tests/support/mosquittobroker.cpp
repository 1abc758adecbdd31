#include "mosquittobroker.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// Runs a helper program to its end; one that fails ends the suite, saying why.
void run(const QString &program, const QString &arguments)
{
    QProcess process;
    process.start(program, arguments.split(' '));
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
}

} // namespace

MosquittoBroker::MosquittoBroker(bool secured)
{
    QTcpServer servers[3]; // all bound at once, so three different ports
    for (int i = 0; i < 3; ++i)
        ports[i] = servers[i].listen(QHostAddress::LocalHost) ? servers[i].serverPort() : 0;
    for (QTcpServer &server : servers)
        server.close();
    // As root, the broker would become user "mosquitto", who cannot read this folder.
    QString config = QString("user %1\nper_listener_settings true\npersistence false\n"
                             "log_dest stderr\nlog_type all\n"
                             "listener %2 127.0.0.1\nallow_anonymous true\n")
                         .arg(getpwuid(geteuid())->pw_name)
                         .arg(ports[Plain]);
    if (secured) { // EC keys: a few milliseconds
        const QString key = "req -x509 -days 2 -nodes -newkey ec -pkeyopt "
                            "ec_paramgen_curve:prime256v1 -keyout %1/";
        run("mosquitto_passwd", QString("-b -c %1/passwords tav s3cret").arg(dir.path()));
        run("openssl", (key + "ca.key -out %1/ca.crt -subj /CN=tav-test-ca").arg(dir.path()));
        run("openssl", (key + "server.key -out %1/server.crt -subj /CN=localhost -CA %1/ca.crt "
                              "-CAkey %1/ca.key -addext subjectAltName=DNS:localhost,IP:127.0.0.1 "
                              "-addext basicConstraints=critical,CA:FALSE")
                           .arg(dir.path()));
        config += QString("listener %1 127.0.0.1\nallow_anonymous false\n"
                          "password_file %3/passwords\n"
                          "listener %2 localhost\nallow_anonymous true\ncafile %3/ca.crt\n"
                          "certfile %3/server.crt\nkeyfile %3/server.key\n")
                      .arg(ports[Password])
                      .arg(ports[Tls])
                      .arg(dir.path());
    }
    QFile file(dir.filePath("mosquitto.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) != config.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.close();
    start();
}

void MosquittoBroker::start()
{
    // A file rather than a pipe: a busy broker never waits for the test to read.
    process.setStandardErrorFile(dir.filePath("log"), QIODevice::Append);
    process.start(TAV_MOSQUITTO, {"-c", dir.filePath("mosquitto.conf")});
    process.waitForStarted();
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
            received.append({f[2], f.mid(3).join(' '), f[0] == "1", f[1].toInt()});
        }
    });
    // MQTT 5 at QoS 2: each message with the retain flag and QoS it was published with.
    sub.start("mosquitto_sub", {"-p", QString::number(port), "-V", "5", "--retain-as-published",
                                "-q", "2", "-t", "#", "-F", "%r %q %t %p"});
    const bool subscribed = QTest::qWaitFor([this] { // back once the subscription holds
        publish("tav-test/subscribed", {"yes"});
        return waitFor("tav-test/subscribed", {}, 100);
    });
    if (!subscribed)
        qFatal("mosquitto_sub could not subscribe on port %d", port);
    clear();
}

QList<MqttMessage> MqttListener::messages(const QByteArray &topicPrefix) const
{
    QList<MqttMessage> found;
    std::copy_if(received.cbegin(), received.cend(), std::back_inserter(found),
                 [&](const MqttMessage &m) { return m.topic.startsWith(topicPrefix); });
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
            const QList<MqttMessage> all = messages(topic);
            return std::any_of(all.cbegin(), all.cend(), [&](const MqttMessage &m) {
                return m.topic == topic && (payload.isNull() || m.payload == payload);
            });
        },
        ms);
}

void MqttListener::publish(const QByteArray &topic, const QByteArrayList &payloads,
                           bool retain) const
{
    QProcess pub; // several on one connection, one a line
    QStringList message = payloads.size() == 1 ? QStringList{"-m", payloads[0]} : QStringList{"-l"};
    if (retain)
        message << "-r";
    pub.start("mosquitto_pub",
              QStringList{"-p", QString::number(port), "-q", "1", "-t", topic} + message);
    pub.write(payloads.join('\n') + '\n');
    pub.closeWriteChannel();
    pub.waitForFinished();
}
