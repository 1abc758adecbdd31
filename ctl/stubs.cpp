// Placeholders until each command is written.
#include "commands.h"

#include <QTextStream>

namespace {
int notYet(const QStringList &arguments)
{
    QTextStream(stderr) << "tavctl: " << arguments.value(0) << " is not written yet\n";
    return ExitStatus::usage;
}
} // namespace

int statusCommand(const QStringList &arguments)
{
    return notYet(arguments);
}
int sendCommand(const QStringList &arguments)
{
    return notYet(arguments);
}
int motorCommand(const QStringList &arguments)
{
    return notYet(arguments);
}
int lightCommand(const QStringList &arguments)
{
    return notYet(arguments);
}
int recordCommand(const QStringList &arguments)
{
    return notYet(arguments);
}
