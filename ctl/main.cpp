// tavctl: the installation from the command line, through the same exchange
// and reply reading as the panel.
#include "commandline.h"
#include "commands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

const char *const usage = "usage: tavctl COMMAND [options]   (tavctl COMMAND --help for more)\n"
                          "  status   read the installation once\n"
                          "  send     send one command and read the reply\n"
                          "  motor    move the panel: up, down, left or right\n"
                          "  light    switch the lights: 1, 2, 3, 4, off, or all LEVEL\n"
                          "  record   refresh at a fixed interval into a CSV file\n"
                          "  plot     draw a recording as a PNG or SVG chart\n"
                          "  mqtt     bridge the installation to an MQTT broker (Home Assistant)\n"
                          "  ports    list the serial ports and the numbers they answer to\n"
                          "\n"
                          "  -h, --help, --help-all   show this help\n"
                          "  --version                show tavctl's version\n"
                          "\n"
                          "Exit status: 0 done; 1 the controller did not answer with a status reply\n"
                          "(no reply, or a reply of another shape); 2 usage error or refused input,\n"
                          "nothing sent; 3 the port could not be opened (busy, permission denied,\n"
                          "missing) or written; 4 the output could not be written; 5 the MQTT\n"
                          "broker refused the bridge.\n";

// Drawing offscreen, the toolkit warns about what a picture written to a file
// does without (no runtime folder, no display). plot reports its own errors,
// so only the toolkit's critical messages reach the terminal.
void keepToolkitWarningsOff(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(message);
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef SIGXFSZ
    // A file-size limit makes a write fail with EFBIG, which is reported like
    // a full disk, rather than killing the program half way through a file.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    setCommandName(command);
    // Only plot draws; it needs no display.
    std::unique_ptr<QCoreApplication> application;
    if (command == QLatin1String("plot")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(keepToolkitWarningsOff);
        application = std::make_unique<QApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("tavctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAV_VERSION));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    QTextStream out(stdout);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("--help-all")) {
        out << usage;
        return ExitStatus::done;
    }
    if (command == QLatin1String("--version")) {
        out << "tavctl " << TAV_VERSION << "\n";
        return ExitStatus::done;
    }
    using Command = int (*)(const QStringList &);
    const std::pair<const char *, Command> commands[] = {
        {"status", statusCommand}, {"send", sendCommand},     {"motor", motorCommand},
        {"light", lightCommand},   {"record", recordCommand}, {"plot", plotCommand},
        {"mqtt", mqttCommand},     {"ports", portsCommand}};
    for (const auto &[name, run] : commands)
        if (command == QLatin1String(name))
            return run(arguments);
    printError((command.isEmpty() ? QStringLiteral("no command given")
                                  : QStringLiteral("unknown command")) +
               QStringLiteral("; the commands are status, send, motor, light, record, plot, "
                              "mqtt and ports (tavctl --help)"));
    return ExitStatus::usage;
}
