// The commands that the Windows build leaves out: record and plot (files,
// signals and Qt Charts as Linux has them) and mqtt (the broker's client
// library). Each says so rather than failing in some other way.
#include "commandline.h"
#include "commands.h"

namespace {

int linuxOnly()
{
    printError(QStringLiteral("this command runs on Linux only; on Windows, tavctl has status, "
                              "send, motor, light and ports"));
    return ExitStatus::usage;
}

} // namespace

int recordCommand(const QStringList &)
{
    return linuxOnly();
}

int plotCommand(const QStringList &)
{
    return linuxOnly();
}

int mqttCommand(const QStringList &)
{
    return linuxOnly();
}
