#ifndef BRIDGE_H
#define BRIDGE_H

#include "energy.h"
#include "exchange.h"
#include "outcome.h"
#include "topics.h"
#include "tracker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QTimer>

class MqttClient;

struct BridgeSettings
{
    int port = 1;             // COMn
    ExchangeOptions exchange; // the wait for a port another program holds, the log
    int intervalMs = 10000;   // between refreshes
    QString id;
    QString prefix;
    bool discovery = true;
    QString discoveryPrefix;
    bool readOnly = false;
    bool track = false; // following the sun from the start
    QString brokerUrl;  // as the log names the broker
    QString stateFile;  // where the energy totals are kept between runs
};

// The installation on the broker: a refresh every interval, through the same
// exchange as the window and the other commands, published as the state
// message; the commands of the command topics run between refreshes, each
// followed by a state message from its reply; Home Assistant's discovery on
// every connection and whenever Home Assistant comes online. While tracking is
// on (--track, or ON on the track topic), each refresh is followed by the
// tracker's moves, before any command; a motor command turns it off. Every
// step worth knowing goes to stderr, one line each.
class Bridge : public QObject
{
    Q_OBJECT

public:
    static constexpr int mostWaitingCommands = 8;

    Bridge(const BridgeSettings &settings, MqttClient &client, QObject *parent = nullptr);

    // Reads the energy totals kept from earlier runs, and makes sure they can
    // be kept: empty, or why not.
    QString prepare();
    void start();
    // Says offline and leaves the broker.
    void stop();

private:
    void refresh();
    void runWaitingCommand();
    ExchangeResult exchange(const QByteArray &command, const QString &place);
    void setTracking(bool on, const QString &why);
    void onTrackMessage(const QByteArray &payload);
    void onConnected();
    void onConnectionLost(const QString &why, int secondsToNextAttempt);
    void onMessage(const QString &topic, const QByteArray &payload, bool retained);
    void announce();
    void publishState();
    void settle();
    void saveTotals();
    void remember(const CommandMessage &command, const ExchangeResult &result);

    BridgeSettings settings;
    Topics topics;
    MqttClient &client;
    QTimer refreshTimer;
    QQueue<CommandMessage> waiting;
    QDateTime lastTime; // the latest exchange, published again on reconnecting
    ExchangeResult lastResult;
    bool exchanged = false;
    StatusChanges changes;
    int refreshes = 0;
    int trackingMoves = 0;
    bool online = false;
    bool tracking = false;
    Tracker tracker;
    EnergyMeter meter;
    EnergyStore store;
    EnergyTotals saved;
    QTimer saveTimer;
    // The totals are published once the bridge has heard its own retained
    // state from the broker (or that there is none), so that none it
    // publishes is ever lower than one it published before.
    bool settled = false;
    QTimer settleTimer;
    QSet<QString> clearing; // command topics whose retained message was just cleared
    QString lightWords; // the last light command sent, for the lights' state
    int lightLevel = 99;
    QElapsedTimer clock; // since the start, for the tracker
};

#endif // BRIDGE_H
