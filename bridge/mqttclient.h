#ifndef MQTTCLIENT_H
#define MQTTCLIENT_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;
class QTimer;
struct mosquitto;
struct mosquitto_message;

// Where and how to reach the broker.
struct BrokerSettings
{
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // with TLS: the only CA trusted; empty for the system's CAs
    QString username;
    QString password;
    QString clientId;
    QString willTopic; // published by the broker, retained, if the connection is lost
    QByteArray willPayload;
};

// A connection to an MQTT broker through libmosquitto, driven by the event
// loop: its socket is watched by notifiers, its keep-alive by a timer, so that
// nothing waits on the network. A connection that cannot be made or is lost is
// made again after a pause that doubles from 1 s to 8 s, for as long as it
// takes. It speaks MQTT 5, and tells the broker the largest message it takes. A broker that refuses the client's credentials or authorization, or a
// TLS connection that fails (a certificate not trusted), is final: refused()
// says why, and no other attempt follows, so as not to flood the broker.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    explicit MqttClient(const BrokerSettings &settings, QObject *parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // An error of the settings themselves (a CA file that cannot be read),
    // found before any connection; empty when they are usable.
    QString settingsError() const { return unusable; }

    void start();
    bool isConnected() const { return connectedNow; }
    // Retained or not, at least once (QoS 1). Nothing is kept for later while
    // the connection is down: what matters then is published on connected().
    void publish(const QString &topic, const QByteArray &payload, bool retain);
    // Kept, and subscribed again on every connection.
    void subscribe(const QString &topic);
    // Takes in every message that has already arrived, so that what follows
    // knows of all of them; at most a few hundred, for a burst that goes on.
    void readArrived();
    // Publishes the last message (none without a topic), then leaves cleanly
    // (the broker drops the will), waiting at most about a second.
    void finish(const QString &topic, const QByteArray &payload);

signals:
    void connected();
    void connectionLost(const QString &why, int secondsToNextAttempt);
    void refused(const QString &why);
    // `retained`: kept by the broker from an earlier publisher, not sent now.
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    static void onConnect(mosquitto *, void *self, int result);
    static void onDisconnect(mosquitto *, void *self, int result);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    void attempt();
    void watchSocket();
    void dropSocket();
    void service();
    void disconnected(int result);
    void lost(const QString &why);
    void updateWriteWatch();

    BrokerSettings settings;
    mosquitto *client = nullptr;
    QSocketNotifier *reading = nullptr;
    QSocketNotifier *writing = nullptr;
    QTimer *keepAlive = nullptr;
    QTimer *retry = nullptr;
    QStringList subscriptions;
    QString unusable;
    QString refusal;     // why the broker refused us, once it did
    QString lastError;   // the library's last error message, for the reasons it gives
    int pauseSeconds = 1;
    bool connectedNow = false;
    bool addressGiven = false; // the first attempt gives the broker's address
    bool finishing = false;
    bool disconnectTold = false; // the library has told of this disconnection
};

#endif // MQTTCLIENT_H
