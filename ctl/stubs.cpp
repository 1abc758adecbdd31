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

int recordCommand(const QStringList &arguments)
{
    return notYet(arguments);
}
