// The commands that the Windows build leaves out: record and plot (files,
// signals and Qt Charts as Linux has them) and mqtt (the broker's client
// library). Each says so rather than failing in some other way.
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"

int linuxOnlyCommand(const QStringList &)
{
    printError(QStringLiteral("this command runs on Linux only; on Windows, tavctl has status, "
                              "send, motor, light and ports"));
    return ExitStatus::usage;
}
