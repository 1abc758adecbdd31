// Reading a command's arguments and the options the commands share.
#include "commandline.h"

#include "exitstatus.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstdio>

namespace {

constexpr int firstPort = 1; // the window's selector offers COM1 to COM20
constexpr int lastPort = 20;
// A port held by another program is waited for longer than the panel's
// longest exchange: up to 1 s for the first byte, then 2 s of collecting.
constexpr double defaultWaitSeconds = 3;
constexpr double longestWaitSeconds = 60;

QtMessageHandler toolkitHandler = nullptr;
bool showExchangeLog = false;
QString namedCommand; // named on every line on stderr

const char *const oneExchangeStatuses =
    "Exit status: 0 done; 1 the controller did not answer with a status reply\n"
    "(no reply, or a reply of another shape: its values stay empty); 2 usage\n"
    "error, nothing sent; 3 the port could not be opened (busy past --wait,\n"
    "permission denied, missing) or the command not written; 4 stdout did not\n"
    "take the reply.\n";

// The exchange logs each step, as in the panel, on the debug channel: it is
// for --verbose only, and shown as the panel shows it. The toolkit's warnings
// and worse reach stderr as tavctl's lines, in the toolkit's words.
void routeToolkitMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        printError(message);
    else if (showExchangeLog)
        toolkitHandler(type, context, message);
}

} // namespace

void setCommandName(const QString &name)
{
    namedCommand = name;
}

QString stderrLine(const QString &message)
{
    return QStringLiteral("tavctl: ") +
           (namedCommand.isEmpty() ? QString() : namedCommand + QStringLiteral(": ")) + message;
}

void printError(const QString &message)
{
    const QByteArray line = (stderrLine(message) + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

bool printToStdout(const QByteArray &bytes, const QString &what)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
        std::fflush(stdout) == 0)
        return true;
    printError(QStringLiteral("the %1 could not be written to stdout: %2").arg(what, qt_error_string(errno)));
    return false;
}

QString parserError(const QCommandLineParser &parser)
{
    // The toolkit says "Missing value after '--port'." or "Unexpected value
    // after '--verbose'." (the option as given), else names the unknown
    // options without their dashes ("Unknown option 'x'.").
    QString text = parser.errorText();
    const QRegularExpressionMatch value =
        QRegularExpression(QStringLiteral("^(Missing|Unexpected) value after '(.*)'\\.$"))
            .match(text);
    if (value.hasMatch())
        return value.captured(2) + (value.captured(1) == QLatin1String("Missing")
                                        ? QStringLiteral(" needs a value")
                                        : QStringLiteral(" takes no value"));
    QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        for (QString &name : unknown)
            name.prepend(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"));
        return (unknown.size() == 1 ? QStringLiteral("unknown option ")
                                    : QStringLiteral("unknown options ")) +
               unknown.join(QStringLiteral(", "));
    }
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

CommandLine::CommandLine(const QString &name, const QString &description, Exchanges exchanges)
    : commandName(name), exitStatuses(QString::fromLatin1(oneExchangeStatuses)),
      exchanging(exchanges == Exchanges::Yes)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    if (!exchanging)
        return;
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Serial port number N, 1 to 20, for COMN (default 1)."),
                      QStringLiteral("N"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("device"),
                      QStringLiteral("The serial device to open, e.g. /dev/ttyUSB0, instead of a "
                                     "numbered port; not with --port."),
                      QStringLiteral("PATH")});
    parser.addOption(
        {QStringLiteral("wait"),
         QStringLiteral("How long to wait for a port that another program is using, in "
                        "seconds, 0 to %1 (default %2).")
             .arg(longestWaitSeconds)
             .arg(defaultWaitSeconds),
         QStringLiteral("SECONDS"), QString::number(defaultWaitSeconds)});
    parser.addOption(
        {QStringLiteral("verbose"),
         QStringLiteral("Show the exchange's log, as the panel writes it, on stderr.")});
}

void CommandLine::addFormatOption(const QString &what, bool withCsv)
{
    hasFormat = true;
    hasCsv = withCsv;
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("How to print %1: %2 (default text).")
                          .arg(what, withCsv ? QStringLiteral("text, json or csv")
                                             : QStringLiteral("text or json")),
                      QStringLiteral("FORMAT"), QStringLiteral("text")});
}

std::optional<int> CommandLine::parse(const QStringList &arguments)
{
    if (!parser.parse(arguments))
        return usageError(parserError(parser));
    // --help-all is the toolkit's own help option; here it shows the same help.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        return printToStdout(helpText().toUtf8(), QStringLiteral("help")) ? ExitStatus::done
                                                                           : ExitStatus::outputError;
    }
    std::optional<QString> problem = exchanging ? readPortAndWait() : std::nullopt;
    if (!problem)
        problem = readFormat();
    if (problem)
        return usageError(*problem);
    showExchangeLog = exchanging && parser.isSet(QStringLiteral("verbose"));
    if (!toolkitHandler)
        toolkitHandler = qInstallMessageHandler(routeToolkitMessages);
    return std::nullopt;
}

ExchangeOptions CommandLine::exchangeOptions() const
{
    ExchangeOptions options;
    options.device = device();
    options.busyRetryMs = busyWaitMs;
    options.listPorts = parser.isSet(QStringLiteral("verbose"));
    return options;
}

int CommandLine::usageError(const QString &message) const
{
    printError(message);
    return ExitStatus::usage;
}

std::optional<QString> CommandLine::readPortAndWait()
{
    if (parser.isSet(QStringLiteral("device"))) {
        if (parser.isSet(QStringLiteral("port")))
            return QStringLiteral("--port and --device exclude each other: give one");
        if (parser.value(QStringLiteral("device")).isEmpty())
            return QStringLiteral("--device takes the path of a device");
    }
    bool isNumber = false;
    portNumber = parser.value(QStringLiteral("port")).toInt(&isNumber);
    if (!isNumber || portNumber < firstPort || portNumber > lastPort)
        return QStringLiteral("--port takes a number from %1 to %2, not \"%3\"")
            .arg(firstPort)
            .arg(lastPort)
            .arg(parser.value(QStringLiteral("port")));
    const double seconds = parser.value(QStringLiteral("wait")).toDouble(&isNumber);
    if (!isNumber || !(seconds >= 0 && seconds <= longestWaitSeconds))
        return QStringLiteral("--wait takes seconds from 0 to %1, not \"%2\"")
            .arg(longestWaitSeconds)
            .arg(parser.value(QStringLiteral("wait")));
    busyWaitMs = int(seconds * 1000);
    return std::nullopt;
}

std::optional<QString> CommandLine::readFormat()
{
    if (!hasFormat)
        return std::nullopt;
    const QString format = parser.value(QStringLiteral("format"));
    if (format == QLatin1String("text"))
        outputFormat = OutputFormat::Text;
    else if (format == QLatin1String("json"))
        outputFormat = OutputFormat::Json;
    else if (format == QLatin1String("csv") && hasCsv)
        outputFormat = OutputFormat::Csv;
    else
        return QStringLiteral("--format takes %1, not \"%2\"")
            .arg(hasCsv ? QStringLiteral("text, json or csv") : QStringLiteral("text or json"),
                 format);
    return std::nullopt;
}

// The toolkit's help, with a usage line that names the command rather than
// the program's path.
QString CommandLine::helpText() const
{
    QString text = parser.helpText();
    const int options = text.indexOf(QLatin1String(" [options]"));
    if (options >= 0)
        text.replace(0, options, QStringLiteral("Usage: tavctl ") + commandName);
    text.replace(QLatin1String("Displays help including Qt specific options."),
                 QLatin1String("Displays this help too."));
    return text + QLatin1Char('\n') + exitStatuses;
}
