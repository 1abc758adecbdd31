// The bridge's topics, command messages and discovery messages.
#include "topics.h"

#include "commandwords.h"
#include "outcome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr int longestShownPayload = 40; // bytes of an ignored command shown in the log

// A sensor of the state message: its key in the discovery topic and unique
// id, its name (the window's label), the state message's key, and what Home
// Assistant is told of its unit.
struct Sensor
{
    const char *key;
    const char *name;
    const char *column;
    const char *deviceClass; // empty for a plain measurement
    const char *unit;        // empty for a number without unit
};

const Sensor sensors[] = {
    {"est", "EST", "est", "", ""},
    {"ouest", "OUEST", "ouest", "", ""},
    {"nord", "NORD", "nord", "", ""},
    {"sud", "SUD", "sud", "", ""},
    {"vpan", "VPAN", "vpan_V", "voltage", "V"},
    {"vbat", "VBAT", "vbat_V", "voltage", "V"},
    {"ipan", "IPAN", "ipan_mA", "current", "mA"},
    {"ibat", "IBAT", "ibat_mA", "current", "mA"},
    {"azimut", "Azimut", "azimut_deg", "", "°"},
    {"elevation", "Elévation", "elevation_deg", "", "°"},
};

// The motor buttons: the word sent, and the name of the window's button.
const std::pair<const char *, const char *> buttons[] = {
    {"up", "Moteur haut"}, {"down", "Moteur bas"}, {"left", "Moteur gauche"},
    {"right", "Moteur droite"}};

// What every entity of the installation shares: its device, where it comes
// from, and when it is available: while the bridge is online and the last
// refresh measured.
QJsonObject entity(const QString &id, const Topics &topics, const QString &key,
                   const QString &name)
{
    const QString version = QStringLiteral(TAV_VERSION);
    return {
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), QStringLiteral("tav_%1_%2").arg(id, key)},
        {QStringLiteral("device"),
         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{QStringLiteral("tav_") + id}},
                     {QStringLiteral("name"), QStringLiteral("TAV ") + id},
                     {QStringLiteral("manufacturer"), QStringLiteral("TAV")},
                     {QStringLiteral("model"), QStringLiteral("Solar panel controller")},
                     {QStringLiteral("sw_version"), version}}},
        {QStringLiteral("origin"),
         QJsonObject{{QStringLiteral("name"), QStringLiteral("tavctl")},
                     {QStringLiteral("sw_version"), version}}},
        {QStringLiteral("availability"),
         QJsonArray{QJsonObject{{QStringLiteral("topic"), topics.availability}},
                    QJsonObject{{QStringLiteral("topic"), topics.state},
                                {QStringLiteral("value_template"),
                                 QStringLiteral("{{ 'online' if value_json.status == 'ok' "
                                                "else 'offline' }}")}}}},
        {QStringLiteral("availability_mode"), QStringLiteral("all")},
    };
}

QJsonObject sensorEntity(const QString &id, const Topics &topics, const Sensor &sensor)
{
    QJsonObject object = entity(id, topics, QLatin1String(sensor.key), QString::fromUtf8(sensor.name));
    object.insert(QStringLiteral("state_topic"), topics.state);
    object.insert(QStringLiteral("value_template"),
                  QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(sensor.column)));
    object.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    if (*sensor.deviceClass)
        object.insert(QStringLiteral("device_class"), QLatin1String(sensor.deviceClass));
    if (*sensor.unit)
        object.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(sensor.unit));
    if (QLatin1String(sensor.unit) == QLatin1String("V"))
        object.insert(QStringLiteral("suggested_display_precision"), 1);
    return object;
}

QJsonObject batteryEntity(const QString &id, const Topics &topics)
{
    QJsonObject object = entity(id, topics, QStringLiteral("batterie"), QStringLiteral("Etat Batterie"));
    object.insert(QStringLiteral("state_topic"), topics.state);
    object.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.batterie }}"));
    object.insert(QStringLiteral("device_class"), QStringLiteral("enum"));
    object.insert(QStringLiteral("options"),
                  QJsonArray{QStringLiteral("En charge"), QStringLiteral("Pleine"),
                             QStringLiteral("Vide"), QStringLiteral("Indéterminé")});
    return object;
}

// tavctl light's choices, every one of them: 1 to 4, off, all 0 to all 99.
QJsonArray lightChoices()
{
    QJsonArray choices{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                       QStringLiteral("4"), QStringLiteral("off")};
    for (int level = 0; level <= 99; ++level)
        choices.append(QStringLiteral("all %1").arg(level));
    return choices;
}

QString configTopic(const QString &discoveryPrefix, const char *component, const QString &id,
                    const QString &key)
{
    return QStringLiteral("%1/%2/tav_%3_%4/config")
        .arg(discoveryPrefix, QLatin1String(component), id, key);
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

bool isValidId(const QString &id)
{
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return valid.match(id).hasMatch();
}

bool isValidTopicPrefix(const QString &prefix)
{
    return !prefix.isEmpty() && !prefix.contains(QLatin1Char('+')) &&
           !prefix.contains(QLatin1Char('#')) && !prefix.endsWith(QLatin1Char('/'));
}

CommandMessage commandMessage(const Topics &topics, const QString &topic, const QByteArray &payload)
{
    CommandMessage message;
    // Every byte: QString::fromLatin1(QByteArray) would stop at a NUL, and
    // take "up\0anything" for up.
    const QString text = QString::fromLatin1(payload.constData(), payload.size());
    const bool motor = topic == topics.motor;
    message.bytes = motor ? motorBytes(text) : lightBytes(text.split(QLatin1Char(' ')));
    message.words = (motor ? QStringLiteral("motor ") : QStringLiteral("light ")) + text;
    if (message.bytes.isEmpty())
        message.problem =
            QStringLiteral("\"%1\"%2 is not %3")
                .arg(escapedBytes(payload.left(longestShownPayload)),
                     payload.size() > longestShownPayload ? QStringLiteral("...") : QString(),
                     motor ? QStringLiteral("up, down, left or right")
                           : QStringLiteral("1, 2, 3, 4, off or all LEVEL (0 to 99)"));
    return message;
}

QVector<QPair<QString, QByteArray>> discoveryMessages(const QString &id, const Topics &topics,
                                                      const QString &discoveryPrefix,
                                                      bool readOnly)
{
    QVector<QPair<QString, QByteArray>> messages;
    for (const Sensor &sensor : sensors)
        messages.append({configTopic(discoveryPrefix, "sensor", id, QLatin1String(sensor.key)),
                         compact(sensorEntity(id, topics, sensor))});
    messages.append({configTopic(discoveryPrefix, "sensor", id, QStringLiteral("batterie")),
                     compact(batteryEntity(id, topics))});
    for (const auto &[word, name] : buttons) {
        const QString key = QStringLiteral("moteur_") + QLatin1String(word);
        QJsonObject button = entity(id, topics, key, QString::fromUtf8(name));
        button.insert(QStringLiteral("command_topic"), topics.motor);
        button.insert(QStringLiteral("payload_press"), QLatin1String(word));
        messages.append({configTopic(discoveryPrefix, "button", id, key),
                         readOnly ? QByteArray() : compact(button)});
    }
    QJsonObject tracking =
        entity(id, topics, QStringLiteral("suivi_soleil"), QStringLiteral("Suivi du soleil"));
    tracking.insert(QStringLiteral("command_topic"), topics.track);
    tracking.insert(QStringLiteral("state_topic"), topics.state);
    tracking.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.suivi_soleil }}"));
    tracking.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
    tracking.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
    tracking.insert(QStringLiteral("icon"), QStringLiteral("mdi:sun-compass"));
    messages.append({configTopic(discoveryPrefix, "switch", id, QStringLiteral("suivi_soleil")),
                     readOnly ? QByteArray() : compact(tracking)});
    QJsonObject lights = entity(id, topics, QStringLiteral("eclairage"), QStringLiteral("Eclairage"));
    lights.insert(QStringLiteral("command_topic"), topics.light);
    lights.insert(QStringLiteral("options"), lightChoices());
    messages.append({configTopic(discoveryPrefix, "select", id, QStringLiteral("eclairage")),
                     readOnly ? QByteArray() : compact(lights)});
    return messages;
}
