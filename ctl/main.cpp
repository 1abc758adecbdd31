// tavctl: the installation from the command line, through the same exchange
// and reply reading as the panel.
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "program.h"

#include "record.h"
#include "track.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

const char *const usage = "usage: tavctl COMMAND [options]   (tavctl COMMAND --help for more)\n"
                          "  status   read the installation once\n"
                          "  send     send one command and read the reply\n"
                          "  motor    move the panel: up, down, left or right\n"
                          "  light    switch the lights: 1, 2, 3, 4, off, or all LEVEL\n"
                          "  record   refresh at a fixed interval into a CSV file\n"
                          "  track    keep the panel facing the sun\n"
#ifndef Q_OS_WIN
                          "  plot     draw a recording as a PNG or SVG chart\n"
                          "  mqtt     bridge the installation to an MQTT broker (Home Assistant)\n"
#endif
                          "  ports    list the serial ports and the numbers they answer to\n"
#ifdef Q_OS_WIN
                          "  (plot and mqtt run on Linux only)\n"
#endif
                          "\n"
                          "  -h, --help, --help-all   show this help\n"
                          "  --version                show tavctl's version\n"
                          "\n"
                          "Exit status: 0 done; 1 the controller did not answer with a status reply\n"
                          "(no reply, or a reply of another shape); 2 usage error or refused input,\n"
                          "nothing sent; 3 the port could not be opened (busy, permission denied,\n"
                          "missing) or written; 4 the output could not be written; 5 the MQTT\n"
                          "broker refused the bridge; 6 the panel does not follow the motor\n"
                          "commands (track).\n";

using Command = int (*)(const QStringList &);

// The commands run in this process; plot and mqtt are programs of their own.
const std::pair<const char *, Command> ownCommands[] = {
    {"status", statusCommand}, {"send", sendCommand},   {"motor", motorCommand},
    {"light", lightCommand},   {"ports", portsCommand},  {"record", recordCommand},
    {"track", trackCommand},
#ifdef Q_OS_WIN
    {"plot", linuxOnlyCommand}, {"mqtt", linuxOnlyCommand},
#endif
};
#ifndef Q_OS_WIN
const char *const programCommands[] = {"plot", "mqtt"};
#endif

bool isOneOf(const QString &word, std::initializer_list<const char *> words)
{
    for (const char *each : words)
        if (word == QLatin1String(each))
            return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString command = beginProgram(argc, argv);
    // Neither the help nor the version needs the toolkit.
    const bool help = isOneOf(command, {"--help", "-h", "--help-all"});
    if (help || command == QLatin1String("--version")) {
        setCommandName(QString()); // tavctl's own, not a command's
        return printToStdout(help ? usage : "tavctl " TAV_VERSION "\n",
                             help ? QStringLiteral("help") : QStringLiteral("version"))
                   ? ExitStatus::done
                   : ExitStatus::outputError;
    }
#ifndef Q_OS_WIN
    for (const char *name : programCommands)
        if (command == QLatin1String(name))
            return runProgramOf(command, argv);
#endif
    QCoreApplication application(argc, argv);
    const QStringList arguments = commandArguments();
    for (const auto &[name, run] : ownCommands)
        if (command == QLatin1String(name))
            return run(arguments);
    printError((command.isEmpty() ? QStringLiteral("no command given")
                                  : QStringLiteral("unknown command")) +
               QStringLiteral("; the commands are status, send, motor, light, record, track, "
                              "plot, mqtt and ports (tavctl --help)"));
    return ExitStatus::usage;
}
