// The bridge's topics, command messages and discovery messages.
#include "topics.h"

#include "commandwords.h"
#include "outcome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <iterator>
#include <optional>

namespace {

constexpr int longestShownPayload = 40; // bytes of an ignored command shown in the log

// When an entity is available: while the bridge is online and the last
// refresh measured, or while the bridge is online whatever the controller
// does (what tells of the controller itself, the bridge's own totals).
enum class Available { WhenMeasured, WhileOnline };

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
    const char *stateClass = "measurement";
    Available available = Available::WhenMeasured;
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
    {"ppan", "Puissance panneau", "ppan_W", "power", "W"},
    {"pbat", "Puissance batterie", "pbat_W", "power", "W"},
    {"epan", "Energie produite", "epan_Wh", "energy", "Wh", "total_increasing",
     Available::WhileOnline},
    {"ebat_charge", "Energie chargée", "ebat_charge_Wh", "energy", "Wh", "total_increasing",
     Available::WhileOnline},
    {"ebat_decharge", "Energie déchargée", "ebat_decharge_Wh", "energy", "Wh",
     "total_increasing", Available::WhileOnline},
    {"azimut", "Azimut", "azimut_deg", "", "°"},
    {"elevation", "Elévation", "elevation_deg", "", "°"},
};

// The alarms: a binary sensor each, on when its template says ON.
struct Alarm
{
    const char *key;
    const char *name;
    const char *deviceClass;
    const char *onWhen; // a Jinja condition on the state message
    Available available;
};

const Alarm alarms[] = {
    {"batterie_vide", "Batterie vide", "battery", "value_json.vide == 1", Available::WhenMeasured},
    {"controleur", "Contrôleur sans réponse", "problem", "value_json.status != 'ok'",
     Available::WhileOnline},
};

const char *const lightEffects[] = {"LED1", "LED2", "LED3", "LED4"};

// The motor buttons: the word sent, and the name of the window's button.
const std::pair<const char *, const char *> buttons[] = {
    {"up", "Moteur haut"}, {"down", "Moteur bas"}, {"left", "Moteur gauche"},
    {"right", "Moteur droite"}};

// What every entity of the installation shares: its device, where it comes
// from, and when it is available: while the bridge is online and the last
// refresh measured.
QJsonObject entity(const QString &id, const Topics &topics, const QString &key,
                   const QString &name, Available available = Available::WhenMeasured)
{
    QJsonArray availability{QJsonObject{{QStringLiteral("topic"), topics.availability}}};
    if (available == Available::WhenMeasured)
        availability.append(QJsonObject{
            {QStringLiteral("topic"), topics.state},
            {QStringLiteral("value_template"),
             QStringLiteral("{{ 'online' if value_json.status == 'ok' else 'offline' }}")}});
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
        {QStringLiteral("availability"), availability},
        {QStringLiteral("availability_mode"), QStringLiteral("all")},
    };
}

QJsonObject sensorEntity(const QString &id, const Topics &topics, const Sensor &sensor)
{
    QJsonObject object = entity(id, topics, QLatin1String(sensor.key),
                                QString::fromUtf8(sensor.name), sensor.available);
    object.insert(QStringLiteral("state_topic"), topics.state);
    object.insert(QStringLiteral("value_template"),
                  QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(sensor.column)));
    object.insert(QStringLiteral("state_class"), QLatin1String(sensor.stateClass));
    if (*sensor.deviceClass)
        object.insert(QStringLiteral("device_class"), QLatin1String(sensor.deviceClass));
    if (*sensor.unit)
        object.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(sensor.unit));
    if (QLatin1String(sensor.unit) == QLatin1String("V") || QLatin1String(sensor.unit) == QLatin1String("W"))
        object.insert(QStringLiteral("suggested_display_precision"), 1);
    if (QLatin1String(sensor.unit) == QLatin1String("Wh"))
        object.insert(QStringLiteral("suggested_display_precision"), 2);
    return object;
}

QJsonObject alarmEntity(const QString &id, const Topics &topics, const Alarm &alarm)
{
    QJsonObject object =
        entity(id, topics, QLatin1String(alarm.key), QString::fromUtf8(alarm.name), alarm.available);
    object.insert(QStringLiteral("state_topic"), topics.state);
    object.insert(QStringLiteral("value_template"),
                  QStringLiteral("{{ 'ON' if %1 else 'OFF' }}").arg(QLatin1String(alarm.onWhen)));
    object.insert(QStringLiteral("device_class"), QLatin1String(alarm.deviceClass));
    return object;
}

// The last refresh's status, for whoever looks into why.
QJsonObject statusEntity(const QString &id, const Topics &topics)
{
    QJsonObject object = entity(id, topics, QStringLiteral("liaison"),
                                QStringLiteral("Liaison série"), Available::WhileOnline);
    object.insert(QStringLiteral("state_topic"), topics.state);
    object.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.status }}"));
    object.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    return object;
}

// The lights, in Home Assistant's JSON schema: a brightness of 0 to 99 (the
// level of all of them), each single light an effect.
QJsonObject lightEntity(const QString &id, const Topics &topics)
{
    QJsonObject object = entity(id, topics, QStringLiteral("eclairage"), QStringLiteral("Eclairage"));
    QJsonArray effects;
    for (const char *effect : lightEffects)
        effects.append(QLatin1String(effect));
    object.insert(QStringLiteral("schema"), QStringLiteral("json"));
    object.insert(QStringLiteral("command_topic"), topics.light);
    object.insert(QStringLiteral("state_topic"), topics.lightState);
    object.insert(QStringLiteral("brightness"), true);
    object.insert(QStringLiteral("brightness_scale"), 99);
    object.insert(QStringLiteral("supported_color_modes"), QJsonArray{QStringLiteral("brightness")});
    object.insert(QStringLiteral("effect"), true);
    object.insert(QStringLiteral("effect_list"), effects);
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

// The words of tavctl light for one of Home Assistant's JSON light commands,
// or nothing when it is not one.
std::optional<QString> lightWordsOf(const QByteArray &payload, int onLevel)
{
    QJsonParseError error{};
    const QJsonObject command = QJsonDocument::fromJson(payload, &error).object();
    const QString state = command.value(QStringLiteral("state")).toString();
    if (error.error != QJsonParseError::NoError || (state != "ON" && state != "OFF"))
        return std::nullopt;
    if (state == QLatin1String("OFF"))
        return QStringLiteral("off");
    const QJsonValue effect = command.value(QStringLiteral("effect"));
    for (int light = 0; light < int(std::size(lightEffects)); ++light)
        if (effect == QLatin1String(lightEffects[light]))
            return QString::number(light + 1);
    if (!effect.isUndefined())
        return std::nullopt;
    const QJsonValue brightness = command.value(QStringLiteral("brightness"));
    const double level = brightness.isUndefined() ? onLevel : brightness.toDouble(-1);
    if (level < 0 || level > 99 || level != std::floor(level))
        return std::nullopt;
    return QStringLiteral("all %1").arg(int(level));
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

CommandMessage commandMessage(const Topics &topics, const QString &topic, const QByteArray &payload,
                              int onLevel)
{
    CommandMessage message;
    // Every byte: QString::fromLatin1(QByteArray) would stop at a NUL, and
    // take "up\0anything" for up.
    QString text = QString::fromLatin1(payload.constData(), payload.size());
    const bool motor = topic == topics.motor;
    if (!motor && payload.startsWith('{'))
        text = lightWordsOf(payload, onLevel).value_or(text);
    message.bytes = motor ? motorBytes(text) : lightBytes(text.split(QLatin1Char(' ')));
    message.words = (motor ? QStringLiteral("motor ") : QStringLiteral("light ")) + text;
    if (message.bytes.isEmpty())
        message.problem =
            QStringLiteral("\"%1\"%2 is not %3")
                .arg(escapedBytes(payload.left(longestShownPayload)),
                     payload.size() > longestShownPayload ? QStringLiteral("...") : QString(),
                     motor ? QStringLiteral("up, down, left or right")
                           : QStringLiteral("1, 2, 3, 4, off or all LEVEL (0 to 99), or "
                                            "a light command of Home Assistant's"));
    return message;
}

QByteArray lightStateOf(const QString &words)
{
    const QStringList w = words.split(QLatin1Char(' '));
    QJsonObject state{{QStringLiteral("state"), QStringLiteral("ON")},
                      {QStringLiteral("color_mode"), QStringLiteral("brightness")}};
    if (w.value(1) == QLatin1String("off"))
        return compact({{QStringLiteral("state"), QStringLiteral("OFF")}});
    if (w.value(1) == QLatin1String("all")) {
        state.insert(QStringLiteral("brightness"), lightLevelOf(w.value(2)));
    } else {
        state.insert(QStringLiteral("brightness"), 99);
        state.insert(QStringLiteral("effect"), QLatin1String(lightEffects[w.value(1).toInt() - 1]));
    }
    return compact(state);
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
    messages.append({configTopic(discoveryPrefix, "light", id, QStringLiteral("eclairage")),
                     readOnly ? QByteArray() : compact(lightEntity(id, topics))});
    // Earlier versions offered the lights as a select: it goes.
    messages.append({configTopic(discoveryPrefix, "select", id, QStringLiteral("eclairage")), {}});
    for (const Alarm &alarm : alarms)
        messages.append(
            {configTopic(discoveryPrefix, "binary_sensor", id, QLatin1String(alarm.key)),
             compact(alarmEntity(id, topics, alarm))});
    messages.append({configTopic(discoveryPrefix, "sensor", id, QStringLiteral("liaison")),
                     compact(statusEntity(id, topics))});
    return messages;
}

QStringList retainedTopics(const QString &id, const Topics &topics, const QString &discoveryPrefix)
{
    QStringList retained{topics.state, topics.availability, topics.lightState};
    for (const auto &message : discoveryMessages(id, topics, discoveryPrefix, false))
        retained.append(message.first);
    return retained;
}
