// tavctl mqtt: the bridge's command line, and its run until a stop signal.
#include "bridge.h"
#include "commandline.h"
#include "exitstatus.h"
#include "mqttcommand.h"
#include "mqttclient.h"
#include "stopsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

namespace {

constexpr double shortestInterval = 1; // seconds
constexpr double longestInterval = 86400;

// The options of the bridge, beyond those every exchanging command has.
void addOptions(CommandLine &line)
{
    line.addOption({QStringLiteral("broker"),
                    QStringLiteral("The broker: mqtt://HOST[:PORT] (default port 1883) or "
                                   "mqtts://HOST[:PORT] (TLS, default port 8883)."),
                    QStringLiteral("URL")});
    line.addOption({QStringLiteral("interval"),
                    QStringLiteral("Seconds between refreshes, 1 to 86400 (default 10)."),
                    QStringLiteral("SECONDS"), QStringLiteral("10")});
    line.addOption({QStringLiteral("id"),
                    QStringLiteral("The installation's name: letters, digits, _ and - (default: "
                                   "the host name and the port, as serre-com1, or the "
                                   "device's name, as serre-ttyusb0)."),
                    QStringLiteral("NAME")});
    line.addOption({QStringLiteral("topic"),
                    QStringLiteral("The prefix of the bridge's topics (default tav/NAME)."),
                    QStringLiteral("PREFIX")});
    line.addOption({QStringLiteral("username"), QStringLiteral("The broker's user name."),
                    QStringLiteral("NAME")});
    line.addOption({QStringLiteral("password-file"),
                    QStringLiteral("A file whose first line is the broker's password (or "
                                   "the environment variable TAV_MQTT_PASSWORD)."),
                    QStringLiteral("FILE")});
    line.addOption({QStringLiteral("cafile"),
                    QStringLiteral("With mqtts: the CA certificate to trust, instead of the "
                                   "system's."),
                    QStringLiteral("FILE")});
    line.addOption({QStringLiteral("no-discovery"),
                    QStringLiteral("Send no Home Assistant discovery messages.")});
    line.addOption({QStringLiteral("discovery-prefix"),
                    QStringLiteral("Home Assistant's discovery prefix (default homeassistant)."),
                    QStringLiteral("PREFIX"), QStringLiteral("homeassistant")});
    line.addOption({QStringLiteral("read-only"),
                    QStringLiteral("Take no commands: subscribe to nothing.")});
    line.addOption({QStringLiteral("state-file"),
                    QStringLiteral("Where the energy totals are kept between runs (default: "
                                   "$STATE_DIRECTORY/mqtt-NAME.json under systemd, else "
                                   "$XDG_STATE_HOME/tav-panel/mqtt-NAME.json, "
                                   "~/.local/state/tav-panel/mqtt-NAME.json without it)."),
                    QStringLiteral("FILE")});
    line.addOption({QStringLiteral("remove"),
                    QStringLiteral("Remove the installation from the broker and from Home "
                                   "Assistant: empty every retained message the bridge made, "
                                   "then end.")});
    line.addOption({QStringLiteral("track"),
                    QStringLiteral("Start with the panel following the sun, as tavctl track "
                                   "does (switched on and off on PREFIX/track/set).")});
}

// mqtt://host[:port] or mqtts://host[:port], nothing else; why not, or nothing.
std::optional<QString> readBroker(const QString &text, BrokerSettings &broker)
{
    // A port past 65535 makes no URL at all: said as a port out of range is.
    const QRegularExpressionMatch port =
        QRegularExpression(QStringLiteral("^mqtts?://[^/:]+:(\\d+)/?$")).match(text);
    if (port.hasMatch() && (port.captured(1).toLongLong() < 1 || port.captured(1).toLongLong() > 65535))
        return QStringLiteral("--broker: the port goes from 1 to 65535, not %1").arg(port.captured(1));
    const QUrl url(text, QUrl::StrictMode);
    const bool tls = url.scheme() == QLatin1String("mqtts");
    if (!url.isValid() || !(tls || url.scheme() == QLatin1String("mqtt")) ||
        url.host().isEmpty() || !(url.path().isEmpty() || url.path() == QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment())
        return QStringLiteral("--broker takes mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not "
                              "\"%1\"")
            .arg(text);
    if (!url.userInfo().isEmpty())
        return QStringLiteral("--broker: no credentials in the URL, which others can see; use "
                              "--username and --password-file");
    broker.host = url.host();
    broker.tls = tls;
    broker.port = url.port(tls ? 8883 : 1883);
    if (broker.port < 1)
        return QStringLiteral("--broker: the port goes from 1 to 65535, not %1").arg(broker.port);
    return std::nullopt;
}

// A CA file holds at least one certificate (PEM): anything else would only
// make every connection fail as if the broker's certificate were wrong.
std::optional<QString> readCaFile(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("--cafile: cannot read %1: %2").arg(path, file.errorString());
    if (!file.read(1 << 20).contains("-----BEGIN CERTIFICATE-----"))
        return QStringLiteral("--cafile: %1 holds no certificate (PEM, -----BEGIN CERTIFICATE-----)")
            .arg(path);
    return std::nullopt;
}

// The password from --password-file (its first line) or TAV_MQTT_PASSWORD.
std::optional<QString> readPassword(const CommandLine &line, BrokerSettings &broker)
{
    broker.username = line.value(QStringLiteral("username"));
    if (line.isSet(QStringLiteral("password-file"))) {
        QFile file(line.value(QStringLiteral("password-file")));
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("--password-file: cannot read %1: %2").arg(file.fileName(), file.errorString());
        broker.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    } else {
        broker.password = qEnvironmentVariable("TAV_MQTT_PASSWORD");
    }
    if (!broker.password.isEmpty() && broker.username.isEmpty())
        return QStringLiteral("a password needs --username");
    return std::nullopt;
}

// Where the totals are kept unless --state-file says: the service's state
// folder, or the user's.
QString defaultStateFile(const QString &id)
{
    const QString name = QStringLiteral("/mqtt-%1.json").arg(id);
    const QString service = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!service.isEmpty())
        return service + name;
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/tav-panel") + name;
}

// The host name and the port (or the device's name), as an id Home Assistant takes.
QString defaultId(const CommandLine &line)
{
    const QString port = line.device().isEmpty() ? QStringLiteral("com%1").arg(line.port())
                                                 : QFileInfo(line.device()).fileName();
    QString id = QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0).toLower() +
                 QLatin1Char('-') + port.toLower();
    for (QChar &c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('_'))
            c = QLatin1Char('-');
    return id;
}

std::optional<QString> readSettings(const CommandLine &line, BrokerSettings &broker,
                                    BridgeSettings &bridge)
{
    if (!line.positionalArguments().isEmpty())
        return QStringLiteral("takes no arguments");
    if (!line.isSet(QStringLiteral("broker")))
        return QStringLiteral("--broker URL is required");
    if (auto problem = readBroker(line.value(QStringLiteral("broker")), broker))
        return problem;
    if (auto problem = readPassword(line, broker))
        return problem;
    broker.caFile = line.value(QStringLiteral("cafile"));
    if (!broker.caFile.isEmpty() && !broker.tls)
        return QStringLiteral("--cafile goes with an mqtts:// broker");
    if (auto problem = readCaFile(broker.caFile))
        return problem;
    bool isNumber = false;
    const double seconds = line.value(QStringLiteral("interval")).toDouble(&isNumber);
    if (!isNumber || !(seconds >= shortestInterval && seconds <= longestInterval))
        return QStringLiteral("--interval takes seconds from 1 to 86400, not \"%1\"")
            .arg(line.value(QStringLiteral("interval")));
    bridge.intervalMs = int(seconds * 1000);
    bridge.port = line.port();
    bridge.exchange = line.exchangeOptions();
    bridge.id =
        line.isSet(QStringLiteral("id")) ? line.value(QStringLiteral("id")) : defaultId(line);
    if (!isValidId(bridge.id))
        return QStringLiteral("--id takes letters, digits, _ and -, not \"%1\"").arg(bridge.id);
    bridge.prefix = line.isSet(QStringLiteral("topic")) ? line.value(QStringLiteral("topic"))
                                                        : QStringLiteral("tav/") + bridge.id;
    bridge.discovery = !line.isSet(QStringLiteral("no-discovery"));
    bridge.discoveryPrefix = line.value(QStringLiteral("discovery-prefix"));
    for (const auto &[option, prefix] : {std::pair{"--topic", bridge.prefix},
                                         {"--discovery-prefix", bridge.discoveryPrefix}})
        if (!isValidTopicPrefix(prefix))
            return QStringLiteral("%1 takes a topic prefix, not empty, without + or #, not "
                                  "ending with /, not \"%2\"")
                .arg(QLatin1String(option), prefix);
    bridge.readOnly = line.isSet(QStringLiteral("read-only"));
    bridge.track = line.isSet(QStringLiteral("track"));
    bridge.stateFile = line.isSet(QStringLiteral("state-file"))
                           ? line.value(QStringLiteral("state-file"))
                           : defaultStateFile(bridge.id);
    if (bridge.stateFile.isEmpty())
        return QStringLiteral("--state-file takes a file");
    bridge.brokerUrl = line.value(QStringLiteral("broker"));
    broker.clientId = QStringLiteral("tavctl-") + bridge.id;
    broker.willTopic = Topics(bridge.prefix).availability;
    broker.willPayload = "offline";
    return std::nullopt;
}

// Empties every retained message the bridge made for the installation, once
// connected, and leaves: Home Assistant then forgets the device. A broker
// that cannot be reached within a while is said, and so is one that refuses.
int removeInstallation(MqttClient &client, const BridgeSettings &settings)
{
    constexpr int longestWaitMs = 30000;
    const Topics topics(settings.prefix);
    // Once the library is out of its callback, which must not leave the broker.
    QObject::connect(&client, &MqttClient::connected, &client, [&] {
        const QStringList retained =
            retainedTopics(settings.id, topics, settings.discoveryPrefix);
        for (const QString &topic : retained)
            client.publish(topic, QByteArray(), true);
        client.finish(QString(), QByteArray());
        printError(QStringLiteral("removed %1 from %2: %3 retained messages emptied")
                       .arg(settings.prefix, settings.brokerUrl)
                       .arg(retained.size()));
        QCoreApplication::exit(ExitStatus::done);
    }, Qt::QueuedConnection);
    QString lastTrouble;
    QObject::connect(&client, &MqttClient::connectionLost,
                     [&](const QString &why) { lastTrouble = why; });
    QTimer::singleShot(longestWaitMs, [&] {
        printError(QStringLiteral("cannot reach %1: %2").arg(settings.brokerUrl, lastTrouble));
        QCoreApplication::exit(ExitStatus::brokerRefused);
    });
    client.start();
    return QCoreApplication::exec();
}

} // namespace

int mqttCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("mqtt"),
                     QStringLiteral("Bridges the installation to an MQTT broker: a refresh every "
                                    "interval, published as PREFIX/state; commands from "
                                    "PREFIX/motor/set and PREFIX/light/set; Home Assistant "
                                    "discovery. Runs until SIGINT or SIGTERM."));
    addOptions(line);
    line.setExitStatuses(QStringLiteral(
        "Exit status: 0 stopped by SIGINT or SIGTERM (after publishing offline), or\n"
        "with --remove, the installation removed; 2 usage error (a bad URL, option\n"
        "or file); 4 the energy totals' file cannot be written; 5 the broker refused\n"
        "the credentials or the authorization, or the TLS connection failed: not\n"
        "tried again (with --remove, also a broker not reached within 30 s). A\n"
        "broker that cannot be reached, or is lost, is tried again for ever, after a\n"
        "pause that doubles from 1 s to 8 s.\n"));
    if (const auto status = line.parse(arguments))
        return *status;
    BrokerSettings broker;
    BridgeSettings settings;
    if (const auto problem = readSettings(line, broker, settings))
        return line.usageError(*problem);
    MqttClient client(broker);
    if (!client.settingsError().isEmpty())
        return line.usageError(client.settingsError());
    // Queued: a refusal can come while the bridge starts, before the event
    // loop runs, when an exit would not be heard.
    QObject::connect(
        &client, &MqttClient::refused, &client,
        [&](const QString &why) {
            printError(QStringLiteral("%1 refused the bridge: %2").arg(settings.brokerUrl, why));
            QCoreApplication::exit(ExitStatus::brokerRefused);
        },
        Qt::QueuedConnection);
    if (line.isSet(QStringLiteral("remove")))
        return removeInstallation(client, settings);
    Bridge bridge(settings, client);
    const QString unkept = bridge.prepare();
    if (!unkept.isEmpty()) {
        printError(unkept);
        return ExitStatus::outputError;
    }
    const StopSignals stop;
    QSocketNotifier stopped(stop.descriptor(), QSocketNotifier::Read);
    QObject::connect(&stopped, &QSocketNotifier::activated, [&] {
        stopped.setEnabled(false);
        bridge.stop();
        QCoreApplication::exit(ExitStatus::done);
    });
    bridge.start();
    return QCoreApplication::exec();
}
