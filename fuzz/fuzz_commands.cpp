// Fuzz target: the MQTT bridge's command messages, any payload on the motor
// and the light topic: taken exactly when it is a word of tavctl motor or
// tavctl light that a button offers (motor) or that tavctl light takes, or a
// JSON command of the kind Home Assistant's discovery of the light allows
// (its effects, a brightness up to its scale), as the bytes worked out here;
// else refused, why on one short log line.
#include "topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const Topics topics(QStringLiteral("tav/fuzz"));
constexpr int longestProblem = 260; // 40 bytes shown, escaped (\xff), and the reason

void require(bool holds, const char *property, const QByteArray &payload)
{
    if (!holds) {
        std::fprintf(stderr, "%s: \"%s\"\n", property, payload.toPercentEncoding(" ").data());
        std::abort();
    }
}

// The entities of the discovery messages that command through this topic.
QList<QJsonObject> entitiesOn(const QString &topic)
{
    QList<QJsonObject> entities;
    for (const auto &[configTopic, config] :
         discoveryMessages("fuzz", topics, "homeassistant", false)) {
        const QJsonObject entity = QJsonDocument::fromJson(config).object();
        if (entity.value("command_topic") == topic)
            entities.append(entity);
    }
    return entities;
}

// The buttons' payload_press on the motor topic; tavctl light's words on the light's.
QSet<QByteArray> offeredOn(const QString &topic)
{
    QSet<QByteArray> offered;
    for (const QJsonObject &entity : entitiesOn(topic))
        if (entity.value("payload_press").isString())
            offered.insert(entity.value("payload_press").toString().toUtf8());
    if (topic == topics.light) {
        offered += {"1", "2", "3", "4", "off"};
        for (int level = 0; level <= 99; ++level)
            offered.insert("all " + QByteArray::number(level));
    }
    return offered;
}

// The bytes of one of Home Assistant's JSON light commands, as the light's
// discovery message allows them (its effects in order, LED1 to LED4; a
// brightness up to its scale; on alone at the last level, 99 at first).
QByteArray jsonLightBytes(const QByteArray &payload)
{
    static const QJsonObject light = entitiesOn(topics.light).value(0);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (!payload.startsWith('{') || error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject command = document.object();
    if (command.value("state") == QLatin1String("OFF"))
        return "E0000\r";
    if (command.value("state") != QLatin1String("ON"))
        return {};
    if (command.contains("effect")) {
        const int index = light.value("effect_list").toArray().toVariantList().indexOf(
            command.value("effect").toVariant());
        return index < 0 || !command.value("effect").isString()
                   ? QByteArray()
                   : "E0" + QByteArray::number(index + 2) + "00\r";
    }
    const QJsonValue brightness = command.value("brightness");
    const double level = brightness.isUndefined() ? 99 : brightness.isDouble() ? brightness.toDouble() : -1;
    if (level < 0 || level > light.value("brightness_scale").toInt() || level != int(level))
        return {};
    return "E01" + QByteArray::number(int(level)) + '\r';
}

// As the window's buttons send them; all N is E01 and N in decimal (all 5: E015).
QByteArray controllerBytes(const QByteArray &choice)
{
    static const QHash<QByteArray, QByteArray> bytes{
        {"up", "J01010"},   {"down", "J02010"}, {"right", "K01010"},
        {"left", "K02010"}, {"1", "E0200"},     {"2", "E0300"},
        {"3", "E0400"},     {"4", "E0500"},     {"off", "E0000"}};
    return (choice.startsWith("all ") ? "E01" + QByteArray::number(choice.mid(4).toInt())
                                      : bytes.value(choice)) +
           '\r';
}

void check(const QString &topic, const QSet<QByteArray> &offered, const QByteArray &payload)
{
    const CommandMessage message = commandMessage(topics, topic, payload);
    // tavctl light's leniency, which the bridge shares: a level is a whole
    // number, whatever its leading zeros (all 007, all 099).
    QByteArray level = payload.mid(4);
    while (level.size() > 1 && level.startsWith('0'))
        level.remove(0, 1);
    const bool zeroPadded = payload.startsWith("all 0") && offered.contains("all " + level);
    const QByteArray json = topic == topics.light ? jsonLightBytes(payload) : QByteArray();
    if (!json.isEmpty()) {
        require(message.bytes == json, "a JSON light command taken otherwise", payload);
        return;
    }
    require(message.bytes.isEmpty() != (offered.contains(payload) || zeroPadded),
            "taken otherwise than offered", payload);
    if (!message.bytes.isEmpty()) {
        require(message.bytes == controllerBytes(payload), "bytes other than the choice's",
                payload);
        require(message.words == (topic == topics.motor ? "motor " : "light ") + payload,
                "logged as other words", payload);
        return;
    }
    require(!message.problem.isEmpty() && message.problem.size() <= longestProblem,
            "reason empty or too long", payload);
    for (const QChar c : message.problem) // no CR, LF, NUL or other control: one log line
        require(c.category() != QChar::Other_Control, "reason not on one line", payload);
}

const QSet<QByteArray> motor = offeredOn(topics.motor), light = offeredOn(topics.light);

} // namespace

// Every choice offered, once, before any input.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    require(motor.size() == 4 && light.size() == 105 &&
                jsonLightBytes(R"({"state":"ON","effect":"LED4"})") == "E0500\r",
            "choices missing from discovery", {});
    for (const auto &[topic, offered] :
         {std::pair(topics.motor, motor), std::pair(topics.light, light)})
        for (const QByteArray &choice : offered)
            check(topic, offered, choice);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray payload(reinterpret_cast<const char *>(data), int(size));
    check(topics.motor, motor, payload);
    check(topics.light, light, payload);
    return 0;
}
