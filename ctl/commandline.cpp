// Reading a command's arguments and the options the commands share.
#include "commandline.h"

#include "commands.h"

#include <cstdio>

namespace {

constexpr int firstPort = 1; // the window's selector offers COM1 to COM20
constexpr int lastPort = 20;

QtMessageHandler toolkitHandler = nullptr;

// The exchange logs each step, as in the panel, on the debug channel: it is
// for --verbose only. Warnings and worse still reach stderr.
void dropDebugMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        toolkitHandler(type, context, message);
}

} // namespace

void printError(const QString &message)
{
    const QByteArray line = QStringLiteral("tavctl: %1\n").arg(message).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

CommandLine::CommandLine(const QString &name, const QString &description) : commandName(name)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Serial port number N, 1 to 20, for COMN (default 1)."),
                      QStringLiteral("N"), QStringLiteral("1")});
    parser.addOption(
        {QStringLiteral("verbose"),
         QStringLiteral("Show the exchange's log, as the panel writes it, on stderr.")});
}

void CommandLine::addFormatOption()
{
    hasFormat = true;
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("How to print the reply: text, json or csv (default text)."),
                      QStringLiteral("FORMAT"), QStringLiteral("text")});
}

std::optional<int> CommandLine::parse(const QStringList &arguments)
{
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        const QByteArray help = helpText().toUtf8();
        std::fwrite(help.constData(), 1, size_t(help.size()), stdout);
        return ExitStatus::done;
    }
    if (const std::optional<QString> problem = readPortAndFormat())
        return usageError(*problem);
    if (!parser.isSet(QStringLiteral("verbose")) && !toolkitHandler)
        toolkitHandler = qInstallMessageHandler(dropDebugMessages);
    return std::nullopt;
}

int CommandLine::usageError(const QString &message) const
{
    printError(commandName + QStringLiteral(": ") + message);
    return ExitStatus::usage;
}

std::optional<QString> CommandLine::readPortAndFormat()
{
    bool isNumber = false;
    portNumber = parser.value(QStringLiteral("port")).toInt(&isNumber);
    if (!isNumber || portNumber < firstPort || portNumber > lastPort)
        return QStringLiteral("--port takes a number from %1 to %2, not \"%3\"")
            .arg(firstPort)
            .arg(lastPort)
            .arg(parser.value(QStringLiteral("port")));
    if (!hasFormat)
        return std::nullopt;
    const QString format = parser.value(QStringLiteral("format"));
    if (format == QLatin1String("text"))
        outputFormat = OutputFormat::Text;
    else if (format == QLatin1String("json"))
        outputFormat = OutputFormat::Json;
    else if (format == QLatin1String("csv"))
        outputFormat = OutputFormat::Csv;
    else
        return QStringLiteral("--format takes text, json or csv, not \"%1\"").arg(format);
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
    return text;
}
