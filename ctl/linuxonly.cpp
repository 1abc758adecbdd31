// The commands that the Windows build leaves out: plot (Qt Charts) and mqtt
// (the broker's client library). Each says so rather than failing in some
// other way.
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"

int linuxOnlyCommand(const QStringList &)
{
    printError(QStringLiteral("this command runs on Linux only; on Windows, tavctl has status, "
                              "send, motor, light, record, track and ports"));
    return ExitStatus::usage;
}
