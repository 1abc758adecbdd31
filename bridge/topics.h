#ifndef TOPICS_H
#define TOPICS_H

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

// What the bridge publishes and listens to, as pure functions of its
// settings: the topic names, the command messages it accepts, and the
// discovery messages that make Home Assistant set up the installation by
// itself. No network and no serial line here.

// The bridge's topics under its prefix (tav/ID by default).
struct Topics
{
    explicit Topics(const QString &prefix)
        : state(prefix + QStringLiteral("/state")),
          availability(prefix + QStringLiteral("/availability")),
          motor(prefix + QStringLiteral("/motor/set")), light(prefix + QStringLiteral("/light/set")),
          lightState(prefix + QStringLiteral("/light/state")),
          track(prefix + QStringLiteral("/track/set"))
    {
    }
    QString state;        // one JSON object per refresh, retained
    QString availability; // online, or offline (the will, and on stopping), retained
    QString motor;        // up, down, left, right
    QString light;        // 1 to 4, off, all LEVEL; or Home Assistant's JSON light command
    QString lightState;   // what the lights were last told, as Home Assistant's JSON light state
    QString track;        // ON or OFF: the panel following the sun
};

// True for an id Home Assistant takes in a discovery topic: letters, digits,
// underscores and hyphens, at least one.
bool isValidId(const QString &id);

// True for a prefix that topics can be published under: not empty, without
// the wildcards + and #, not ending with a slash.
bool isValidTopicPrefix(const QString &prefix);

// The bytes a command message stands for, on the motor or the light topic,
// exactly as tavctl motor and tavctl light send them; or why it is ignored.
// On the light topic, Home Assistant's JSON light commands too: {"state":
// "OFF"}, {"state": "ON", "brightness": LEVEL} (all the lights at LEVEL, 0
// to 99), {"state": "ON", "effect": "LED1"} (that light alone), {"state":
// "ON"} (all at `onLevel`, the level they last had).
struct CommandMessage
{
    QByteArray bytes;  // empty when the payload is not a command
    QString words;     // "motor up", "light all 80": what the log tells
    QString problem;   // why it is ignored
};
CommandMessage commandMessage(const Topics &topics, const QString &topic, const QByteArray &payload,
                              int onLevel = 99);

// The lights' state, as Home Assistant's JSON light schema has it, after the
// light command `words` stands for ("light all 80", "light 2", "light off").
QByteArray lightStateOf(const QString &words);

// Every retained topic the bridge may have written for an installation: its
// discovery topics (those of earlier versions included), its state, its
// availability and its lights' state. Emptied, they remove the installation.
QStringList retainedTopics(const QString &id, const Topics &topics, const QString &discoveryPrefix);

// One retained message per entity for Home Assistant's MQTT discovery, under
// `discoveryPrefix`: the installation's measurements, its battery's state and,
// unless `readOnly`, its controls (four motor buttons, a select of the
// lights, the switch of the sun tracking). With `readOnly`, the controls'
// topics get empty payloads, which remove them if an earlier run announced
// them. The select of the lights that earlier versions announced is removed
// (an empty message).
QVector<QPair<QString, QByteArray>> discoveryMessages(const QString &id, const Topics &topics,
                                                      const QString &discoveryPrefix,
                                                      bool readOnly);

#endif // TOPICS_H
