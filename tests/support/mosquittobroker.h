#ifndef MOSQUITTOBROKER_H
#define MOSQUITTOBROKER_H

#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

// A real Mosquitto broker on free loopback ports, for as long as this lives.
// Its plain listener takes anyone. With `secured`, two more: one takes only
// user "tav" with password "s3cret", the other TLS connections to localhost,
// its certificate from a throw-away CA (caFile()). It keeps nothing: started
// again, it holds no retained message.
class MosquittoBroker
{
public:
    enum Listener { Plain, Password, Tls };
    explicit MosquittoBroker(bool secured = false);
    ~MosquittoBroker() { stop(); }
    void start(); // again after stop(), on the same ports
    void stop() { process.terminate(), process.waitForFinished(5000); }
    quint16 port(Listener listener = Plain) const { return ports[listener]; }
    QString url(Listener listener = Plain) const // mqtts://localhost:PORT for Tls
    {
        return QString(listener == Tls ? "mqtts://localhost:%1" : "mqtt://127.0.0.1:%1")
            .arg(ports[listener]);
    }
    QString caFile() const { return dir.filePath("ca.crt"); }
    QByteArray log() const; // all it logged, from its first start on

private:
    QTemporaryDir dir;
    quint16 ports[3];
    QProcess process;
};

struct MqttMessage
{
    QByteArray topic, payload;
    bool retained; // both as published (MQTT 5's retain-as-published)
    int qos;
};

// mosquitto_sub on the broker's plain listener, subscribed to every topic from
// its construction on (again after the broker restarts), keeping each message
// in order; and mosquitto_pub, which publishes at QoS 1.
class MqttListener
{
public:
    explicit MqttListener(const MosquittoBroker &broker);
    ~MqttListener() { sub.kill(), sub.waitForFinished(); }
    QList<MqttMessage> messages(const QByteArray &topicPrefix = {}) const;
    // The last retained payload of each topic under the prefix.
    QMap<QByteArray, QByteArray> retained(const QByteArray &topicPrefix) const;
    // Spins the event loop until a message on that topic (with that payload,
    // unless null) has come since the last clear(), for at most `ms`.
    bool waitFor(const QByteArray &topic, const QByteArray &payload = {}, int ms = 5000) const;
    // One message for each payload, back to back.
    void publish(const QByteArray &topic, const QByteArrayList &payloads,
                 bool retain = false) const;
    void clear() { received.clear(); }

private:
    const quint16 port;
    QProcess sub;
    QList<MqttMessage> received;
};

#endif // MOSQUITTOBROKER_H
