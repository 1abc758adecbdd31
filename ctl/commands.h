#ifndef COMMANDS_H
#define COMMANDS_H

#include <QStringList>

// The commands of tavctl. Each takes its own arguments (the command's name
// first, as QCommandLineParser expects), handles its --help, and returns the
// program's exit status.
namespace ExitStatus {
constexpr int done = 0;
constexpr int noReply = 1;   // the controller did not answer with a status reply
constexpr int usage = 2;     // bad command line; nothing was sent
constexpr int portError = 3; // the port could not be opened (or written)
constexpr int outputError = 4; // the output (a recording, a picture) could not be written
constexpr int brokerRefused = 5; // the MQTT broker refused the credentials, or TLS failed
} // namespace ExitStatus

int statusCommand(const QStringList &arguments);
int sendCommand(const QStringList &arguments);
int motorCommand(const QStringList &arguments);
int lightCommand(const QStringList &arguments);
int recordCommand(const QStringList &arguments);
int plotCommand(const QStringList &arguments);
int mqttCommand(const QStringList &arguments);
int portsCommand(const QStringList &arguments);

#endif // COMMANDS_H
