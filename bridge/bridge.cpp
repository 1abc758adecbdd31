// The bridge between the serial line and the broker.
#include "bridge.h"

#include "commandline.h"
#include "commandwords.h"
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

namespace {

constexpr int saveIntervalMs = 60 * 1000; // the totals' file, at most this often
constexpr int settleMs = 2000;           // the broker's retained state, if any, comes by then

} // namespace

Bridge::Bridge(const BridgeSettings &bridgeSettings, MqttClient &mqttClient, QObject *parent)
    : QObject(parent), settings(bridgeSettings), topics(bridgeSettings.prefix), client(mqttClient),
      tracking(bridgeSettings.track), store(bridgeSettings.stateFile)
{
    refreshTimer.setInterval(settings.intervalMs);
    connect(&refreshTimer, &QTimer::timeout, this, &Bridge::refresh);
    saveTimer.setInterval(saveIntervalMs);
    connect(&saveTimer, &QTimer::timeout, this, &Bridge::saveTotals);
    settleTimer.setSingleShot(true);
    settleTimer.setInterval(settleMs);
    connect(&settleTimer, &QTimer::timeout, this, &Bridge::settle);
    connect(&client, &MqttClient::connected, this, &Bridge::onConnected);
    connect(&client, &MqttClient::connectionLost, this, &Bridge::onConnectionLost);
    connect(&client, &MqttClient::messageReceived, this, &Bridge::onMessage);
}

QString Bridge::prepare()
{
    QString notice;
    meter.raiseTo(store.load(notice));
    if (!notice.isEmpty())
        log(notice);
    if (!store.save(meter.totals()))
        return QStringLiteral("cannot keep the energy totals in %1: %2").arg(store.path(), store.error());
    saved = meter.totals();
    return QString();
}

void Bridge::start()
{
    client.subscribe(topics.state); // its own retained state, for the totals
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
    saveTimer.start();
    QTimer::singleShot(0, this, &Bridge::refresh);
}

void Bridge::stop()
{
    refreshTimer.stop();
    saveTotals();
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
    remember(command, exchange(command.bytes, command.words));
    if (!waiting.isEmpty()) // the next one after the broker has been heard again
        QTimer::singleShot(0, this, &Bridge::runWaitingCommand);
}

ExchangeResult Bridge::exchange(const QByteArray &command, const QString &place)
{
    lastTime = QDateTime::currentDateTime();
    lastResult = serialExchange(settings.port, command, {}, settings.exchange);
    exchanged = true;
    meter.add(clock.elapsed(), hasMeasurement(lastResult)
                                   ? std::optional<Powers>(powersOf(decodeReply(lastResult.reply)))
                                   : std::nullopt);
    publishState();
    const QString change = changes.lineFor(lastResult, place);
    if (!change.isEmpty())
        log(change);
    return lastResult;
}

// The latest reply, with whether the panel follows the sun and the energy
// totals.
void Bridge::publishState()
{
    if (!exchanged || !settled)
        return;
    QMap<QString, QByteArray> more = stateMembers(meter.totals());
    more.insert(QStringLiteral("suivi_soleil"),
                tracking ? QByteArray("\"ON\"") : QByteArray("\"OFF\""));
    client.publish(topics.state, compactJson(lastTime, lastResult, more), true);
}

void Bridge::settle()
{
    settleTimer.stop();
    settled = true;
    publishState();
}

// At most once a minute, and at the end: a bridge killed loses a minute of
// its file at most, and the broker keeps what it last published.
void Bridge::saveTotals()
{
    if (meter.totals() == saved)
        return;
    const bool wasSaved = store.error().isEmpty();
    if (store.save(meter.totals()))
        saved = meter.totals();
    else if (wasSaved)
        log(QStringLiteral("cannot keep the energy totals in %1: %2; trying again in a minute")
                .arg(store.path(), store.error()));
}

// What the lights were told, once it reached the line, as Home Assistant's
// light state.
void Bridge::remember(const CommandMessage &command, const ExchangeResult &result)
{
    const bool written =
        result.status == ExchangeResult::Replied || result.status == ExchangeResult::NoReply;
    if (!written || !command.words.startsWith(QLatin1String("light ")))
        return;
    lightWords = command.words;
    if (lightWords.startsWith(QLatin1String("light all ")))
        lightLevel = lightLevelOf(lightWords.section(QLatin1Char(' '), 2));
    client.publish(topics.lightState, lightStateOf(lightWords), true);
}

void Bridge::onConnected()
{
    online = true;
    if (!settled)
        settleTimer.start();
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
    if (!lightWords.isEmpty())
        client.publish(topics.lightState, lightStateOf(lightWords), true);
}

void Bridge::onMessage(const QString &topic, const QByteArray &payload, bool retained)
{
    if (topic == topics.state) { // its own: the last run's, when retained
        if (retained)
            if (const std::optional<EnergyTotals> totals = totalsInState(payload))
                meter.raiseTo(*totals);
        if (retained && !settled)
            settle();
        return;
    }
    if (topic == settings.discoveryPrefix + QStringLiteral("/status")) {
        if (payload == "online")
            announce();
        return;
    }
    // A command kept by the broker would move the panel again at every
    // connection: only one sent now is carried out.
    if (retained) {
        log(QStringLiteral("ignored on %1: a retained message, not a command sent now; cleared "
                           "from the broker")
                .arg(topic));
        client.publish(topic, QByteArray(), true);
        clearing.insert(topic);
        return;
    }
    if (payload.isEmpty() && clearing.remove(topic)) // the broker's echo of that clearing
        return;
    if (topic == topics.track) {
        onTrackMessage(payload);
        return;
    }
    const CommandMessage message = commandMessage(topics, topic, payload, lightLevel);
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
