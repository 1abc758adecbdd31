// The broker connection, driven by the event loop through libmosquitto's
// socket and its read, write and housekeeping steps.
#include "mqttclient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>

namespace {

constexpr int keepAliveSeconds = 30;
// The pause between attempts doubles up to this: once the broker is back,
// the bridge is too within it, however long the broker was away.
constexpr int longestPauseSeconds = 8;
// The largest message the bridge takes, which the broker is told (MQTT 5's
// maximum packet size): a command, Home Assistant's status, its own state,
// none larger than a few hundred bytes. The broker drops anything larger
// rather than send it.
constexpr int largestPacket = 8192;
constexpr int serviceIntervalMs = 1000; // keep-alive pings, and anything TLS holds back
constexpr int finishMs = 1000;
// MQTT 5's answers to a connection that it refuses for good, and their
// MQTT 3.1.1 codes, whose words the log gives.
constexpr int badUsernameOrPassword = 134, badUsernameOrPasswordV3 = 4;
constexpr int notAuthorized = 135, notAuthorizedV3 = 5;

// The library's words for a result, as a clause of a log line.
QString resultText(int result)
{
    QString text = result == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                            : QString::fromUtf8(mosquitto_strerror(result));
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

MqttClient::MqttClient(const BrokerSettings &brokerSettings, QObject *parent)
    : QObject(parent), settings(brokerSettings), keepAlive(new QTimer(this)),
      retry(new QTimer(this))
{
    mosquitto_lib_init(); // counted: each client's destructor undoes its own
    keepAlive->setInterval(serviceIntervalMs);
    connect(keepAlive, &QTimer::timeout, this, &MqttClient::service);
    retry->setSingleShot(true);
    connect(retry, &QTimer::timeout, this, &MqttClient::attempt);
    client = mosquitto_new(settings.clientId.toUtf8().constData(), true, this);
    if (!client) {
        unusable = QStringLiteral("the MQTT client could not be made: ") + resultText(MOSQ_ERR_ERRNO);
        return;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // libmosquitto has no asynchronous connection with MQTT 5 properties, but
    // keeps those mosquitto_connect_bind_v5 is given before it looks at the
    // host: given none, it stores them for the connections that follow.
    mosquitto_property *properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, largestPacket);
    mosquitto_connect_bind_v5(client, nullptr, 0, keepAliveSeconds, nullptr, properties);
    mosquitto_property_free_all(&properties);
    mosquitto_connect_callback_set(client, onConnect);
    mosquitto_disconnect_callback_set(client, onDisconnect);
    mosquitto_message_callback_set(client, onMessage);
    mosquitto_log_callback_set(client, onLog);
    if (!settings.username.isEmpty())
        mosquitto_username_pw_set(client, settings.username.toUtf8().constData(),
                                  settings.password.isEmpty()
                                      ? nullptr
                                      : settings.password.toUtf8().constData());
    if (!settings.willTopic.isEmpty())
        mosquitto_will_set(client, settings.willTopic.toUtf8().constData(),
                           settings.willPayload.size(), settings.willPayload.constData(), 1, true);
    if (!settings.tls)
        return;
    if (settings.caFile.isEmpty()) {
        mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        return;
    }
    QFile ca(settings.caFile);
    if (!ca.open(QIODevice::ReadOnly))
        unusable = QStringLiteral("cannot read %1: %2").arg(settings.caFile, ca.errorString());
    else if (mosquitto_tls_set(client, QFile::encodeName(settings.caFile).constData(), nullptr,
                               nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
        unusable = QStringLiteral("cannot use %1 as a CA certificate").arg(settings.caFile);
}

MqttClient::~MqttClient()
{
    dropSocket();
    if (client)
        mosquitto_destroy(client);
    mosquitto_lib_cleanup();
}

void MqttClient::start()
{
    attempt();
}

void MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!connectedNow)
        return;
    mosquitto_publish(client, nullptr, topic.toUtf8().constData(), payload.size(),
                      payload.constData(), 1, retain);
    updateWriteWatch();
}

void MqttClient::subscribe(const QString &topic)
{
    subscriptions.append(topic);
    if (connectedNow)
        mosquitto_subscribe(client, nullptr, topic.toUtf8().constData(), 1);
}

void MqttClient::readArrived()
{
    constexpr int mostRounds = 64;
    for (int round = 0; round < mostRounds; ++round) {
        const int socket = mosquitto_socket(client);
        pollfd ready = {socket, POLLIN, 0};
        if (socket < 0 || ::poll(&ready, 1, 0) != 1)
            return;
        service();
    }
}

void MqttClient::finish(const QString &topic, const QByteArray &payload)
{
    retry->stop();
    keepAlive->stop();
    if (!connectedNow)
        return;
    if (!topic.isEmpty())
        publish(topic, payload, true);
    finishing = true;
    mosquitto_disconnect(client);
    // The library closes the socket once the disconnection is written.
    QElapsedTimer clock;
    clock.start();
    for (int socket; (socket = mosquitto_socket(client)) >= 0 && clock.elapsed() < finishMs;) {
        pollfd ready = {socket, short(POLLIN | (mosquitto_want_write(client) ? POLLOUT : 0)), 0};
        ::poll(&ready, 1, 100);
        if (mosquitto_loop_write(client, 1) != MOSQ_ERR_SUCCESS ||
            mosquitto_loop_read(client, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
    dropSocket();
}

void MqttClient::attempt()
{
    lastError.clear();
    const int result =
        addressGiven ? mosquitto_reconnect_async(client)
                     : mosquitto_connect_async(client, settings.host.toUtf8().constData(),
                                               settings.port, keepAliveSeconds);
    addressGiven = true;
    if (result != MOSQ_ERR_SUCCESS) { // on a fast network, a TLS handshake may fail already
        disconnected(result);
        return;
    }
    watchSocket();
    keepAlive->start();
}

void MqttClient::watchSocket()
{
    dropSocket();
    const int socket = mosquitto_socket(client);
    if (socket < 0)
        return;
    reading = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    writing = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(reading, &QSocketNotifier::activated, this, &MqttClient::service);
    connect(writing, &QSocketNotifier::activated, this, &MqttClient::service);
    updateWriteWatch();
}

// The notifiers may be the ones whose signal is being handled: they go once
// the event loop is back.
void MqttClient::dropSocket()
{
    for (QSocketNotifier **notifier : {&reading, &writing}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
}

// One round of the library's work: what came in (a TLS handshake included),
// what waits to go out, and the keep-alive. A failure comes back through
// onDisconnect, which says what follows.
void MqttClient::service()
{
    if (mosquitto_socket(client) < 0)
        return;
    disconnectTold = false;
    int result = mosquitto_loop_read(client, 16);
    if (result == MOSQ_ERR_SUCCESS)
        result = mosquitto_loop_write(client, 16);
    if (result == MOSQ_ERR_SUCCESS)
        result = mosquitto_loop_misc(client);
    if (result == MOSQ_ERR_SUCCESS)
        updateWriteWatch();
    else if (!disconnectTold) // a failed TLS handshake closes the socket without a word
        disconnected(result);
}

void MqttClient::updateWriteWatch()
{
    if (writing)
        writing->setEnabled(mosquitto_want_write(client));
}

void MqttClient::lost(const QString &why)
{
    dropSocket();
    keepAlive->stop();
    emit connectionLost(why, pauseSeconds);
    retry->start(pauseSeconds * 1000);
    pauseSeconds = std::min(pauseSeconds * 2, longestPauseSeconds);
}

void MqttClient::onConnect(mosquitto *, void *self, int result)
{
    auto *me = static_cast<MqttClient *>(self);
    if (result != 0) {
        if (result == badUsernameOrPassword || result == notAuthorized)
            me->refusal = QString::fromUtf8(mosquitto_connack_string(
                result == notAuthorized ? notAuthorizedV3 : badUsernameOrPasswordV3));
        else
            me->lastError = QString::fromUtf8(mosquitto_reason_string(result));
        return; // the library disconnects, and onDisconnect says what follows
    }
    me->connectedNow = true;
    me->pauseSeconds = 1;
    for (const QString &topic : qAsConst(me->subscriptions))
        mosquitto_subscribe(me->client, nullptr, topic.toUtf8().constData(), 1);
    emit me->connected();
    me->updateWriteWatch();
}

void MqttClient::onDisconnect(mosquitto *, void *self, int result)
{
    static_cast<MqttClient *>(self)->disconnected(result);
}

void MqttClient::disconnected(int result)
{
    disconnectTold = true;
    const bool wasConnected = connectedNow;
    connectedNow = false;
    if (finishing)
        return;
    // A certificate that is not trusted fails the handshake, before any
    // connection: trying again would fail the same way.
    if (refusal.isEmpty() && result == MOSQ_ERR_TLS && !wasConnected)
        refusal = QStringLiteral("the TLS connection failed") +
                  (lastError.isEmpty() ? QString() : QStringLiteral(": ") + lastError);
    if (!refusal.isEmpty()) {
        dropSocket();
        keepAlive->stop();
        emit refused(refusal);
        return;
    }
    lost(lastError.isEmpty() ? resultText(result) : lastError);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    emit static_cast<MqttClient *>(self)->messageReceived(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
        message->retain);
}

void MqttClient::onLog(mosquitto *, void *self, int level, const char *text)
{
    if (level & MOSQ_LOG_ERR)
        static_cast<MqttClient *>(self)->lastError = QString::fromUtf8(text);
}
