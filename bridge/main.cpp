// tavctl-mqtt: tavctl's mqtt command as a program of its own, so that no
// other command loads libmosquitto. tavctl runs it in its own place, with its
// command line ("tavctl mqtt ...").
#include "commandline.h"
#include "exitstatus.h"
#include "mqttcommand.h"
#include "program.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    if (beginProgram(argc, argv) != QLatin1String("mqtt")) {
        printError(QStringLiteral("tavctl-mqtt runs tavctl's mqtt command: tavctl mqtt ..."));
        return ExitStatus::usage;
    }
    QCoreApplication application(argc, argv);
    return mqttCommand(commandArguments());
}
