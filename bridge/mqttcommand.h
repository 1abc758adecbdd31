#ifndef MQTTCOMMAND_H
#define MQTTCOMMAND_H

#include <QStringList>

// tavctl mqtt: the installation kept on an MQTT broker until a stop signal.
// Takes its arguments from the command's name on; returns the exit status.
int mqttCommand(const QStringList &arguments);

#endif // MQTTCOMMAND_H
