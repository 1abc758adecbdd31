// The bridge between the serial line and the broker.
#include "bridge.h"

#include "commandline.h"
#include "exchange.h"
#include "mqttclient.h"
#include "output.h"
#include "trackturn.h"

#include <QDateTime>

namespace {

void log(const QString &line)
{
    printError(line);
}

} // namespace

Bridge::Bridge(const BridgeSettings &bridgeSettings, MqttClient &mqttClient, QObject *parent)
    : QObject(parent), settings(bridgeSettings), topics(bridgeSettings.prefix), client(mqttClient),
      tracking(bridgeSettings.track)
{
    refreshTimer.setInterval(settings.intervalMs);
    connect(&refreshTimer, &QTimer::timeout, this, &Bridge::refresh);
    connect(&client, &MqttClient::connected, this, &Bridge::onConnected);
    connect(&client, &MqttClient::connectionLost, this, &Bridge::onConnectionLost);
    connect(&client, &MqttClient::messageReceived, this, &Bridge::onMessage);
}

void Bridge::start()
{
    if (settings.discovery)
        client.subscribe(settings.discoveryPrefix + QStringLiteral("/status"));
    if (!settings.readOnly) {
        client.subscribe(topics.motor);
        client.subscribe(topics.light);
        client.subscribe(topics.track);
    }
    if (tracking)
        log(QStringLiteral("tracking on"));
    client.start();
    clock.start();
    refreshTimer.start();
    QTimer::singleShot(0, this, &Bridge::refresh);
}

void Bridge::stop()
{
    refreshTimer.stop();
    client.finish(topics.availability, "offline");
    log(QStringLiteral("stopped"));
}

// One refresh, then, while tracking, the tracker's moves: the commands that
// wait run after them.
void Bridge::refresh()
{
    ++refreshes;
    const ExchangeResult result =
        exchange(QByteArrayLiteral("R\r"), QStringLiteral("refresh %1").arg(refreshes));
    if (!tracking)
        return;
    trackTurn(
        tracker, result, double(clock.elapsed()) / 1000,
        [this](const QByteArray &command) {
            return exchange(command, QStringLiteral("tracking move %1").arg(++trackingMoves));
        },
        [](const QString &line) { log(QStringLiteral("tracking: ") + line); });
    if (!tracker.canMove())
        setTracking(false, QStringLiteral("the panel does not follow the motor commands"));
}

void Bridge::setTracking(bool on, const QString &why)
{
    if (on == tracking)
        return;
    tracking = on;
    log(QStringLiteral("tracking %1%2")
            .arg(on ? QStringLiteral("on") : QStringLiteral("off"),
                 why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    publishState();
}

void Bridge::onTrackMessage(const QByteArray &payload)
{
    if (payload == "ON" || payload == "OFF")
        setTracking(payload == "ON", QString());
    else
        log(QStringLiteral("ignored on %1: \"%2\" is not ON or OFF")
                .arg(topics.track, escapedBytes(payload.left(40))));
}

// Every command that has arrived is in the queue (or dropped) before one
// runs: the queue's bound holds for a burst, whatever the socket's reads.
void Bridge::runWaitingCommand()
{
    client.readArrived();
    if (waiting.isEmpty())
        return;
    const CommandMessage command = waiting.dequeue();
    exchange(command.bytes, command.words);
    if (!waiting.isEmpty()) // the next one after the broker has been heard again
        QTimer::singleShot(0, this, &Bridge::runWaitingCommand);
}

ExchangeResult Bridge::exchange(const QByteArray &command, const QString &place)
{
    lastTime = QDateTime::currentDateTime();
    lastResult = serialExchange(settings.port, command, {}, settings.exchange);
    exchanged = true;
    publishState();
    const QString change = changes.lineFor(lastResult, place);
    if (!change.isEmpty())
        log(change);
    return lastResult;
}

// The latest reply, with whether the panel follows the sun.
void Bridge::publishState()
{
    if (exchanged)
        client.publish(topics.state,
                       compactJson(lastTime, lastResult,
                                   {{QStringLiteral("suivi_soleil"),
                                     tracking ? QByteArray("\"ON\"") : QByteArray("\"OFF\"")}}),
                       true);
}

void Bridge::onConnected()
{
    online = true;
    log(QStringLiteral("connected to %1 as %2").arg(settings.brokerUrl, settings.prefix));
    if (settings.discovery) {
        announce();
        return;
    }
    client.publish(topics.availability, "online", true);
    publishState();
}

void Bridge::onConnectionLost(const QString &why, int secondsToNextAttempt)
{
    log(QStringLiteral("%1 %2: %3; trying again in %4 s")
            .arg(online ? QStringLiteral("disconnected from") : QStringLiteral("cannot connect to"),
                 settings.brokerUrl, why)
            .arg(secondsToNextAttempt));
    online = false;
}

// Home Assistant takes the state it is sent after the discovery messages.
void Bridge::announce()
{
    for (const auto &[topic, payload] :
         discoveryMessages(settings.id, topics, settings.discoveryPrefix, settings.readOnly))
        client.publish(topic, payload, true);
    client.publish(topics.availability, "online", true);
    publishState();
}

void Bridge::onMessage(const QString &topic, const QByteArray &payload, bool retained)
{
    if (topic == settings.discoveryPrefix + QStringLiteral("/status")) {
        if (payload == "online")
            announce();
        return;
    }
    // A command kept by the broker would move the panel again at every
    // connection: only one sent now is carried out.
    if (retained) {
        log(QStringLiteral("ignored on %1: a retained message, not a command sent now").arg(topic));
        return;
    }
    if (topic == topics.track) {
        onTrackMessage(payload);
        return;
    }
    const CommandMessage message = commandMessage(topics, topic, payload);
    if (message.bytes.isEmpty()) {
        log(QStringLiteral("ignored on %1: %2").arg(topic, message.problem));
        return;
    }
    if (waiting.size() >= mostWaitingCommands) {
        log(QStringLiteral("dropped %1: %2 commands already wait")
                .arg(message.words)
                .arg(mostWaitingCommands));
        return;
    }
    log(QStringLiteral("command %1").arg(message.words));
    if (topic == topics.motor) // the operator has taken over
        setTracking(false, QStringLiteral("the panel was moved by hand (%1)").arg(message.words));
    waiting.enqueue(message);
    if (waiting.size() == 1)
        QTimer::singleShot(0, this, &Bridge::runWaitingCommand);
}
