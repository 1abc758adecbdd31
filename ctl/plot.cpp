// tavctl plot: a recording drawn as a chart.
#include "commands.h"

#include <QTextStream>

int plotCommand(const QStringList &arguments)
{
    QTextStream(stderr) << "tavctl: " << arguments.value(0) << " is not written yet\n";
    return ExitStatus::usage;
}
