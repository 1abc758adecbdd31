#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "exchange.h"
#include "output.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// The reading of one command's arguments, with the options every command
// that speaks to the controller shares: --port or --device, --wait, --verbose
// and --help, and --format for those that print a reply.
class CommandLine
{
public:
    // Whether the command exchanges with the controller, and so takes --port,
    // --device, --wait and --verbose.
    enum class Exchanges { Yes, No };

    // `name` is the command's ("status"), `description` what it does.
    CommandLine(const QString &name, const QString &description,
                Exchanges exchanges = Exchanges::Yes);
    CommandLine(const CommandLine &) = delete;
    CommandLine &operator=(const CommandLine &) = delete;

    // --format, for a command that prints `what`: text or json, and csv too
    // unless `withCsv` is false.
    void addFormatOption(const QString &what = QStringLiteral("the reply"), bool withCsv = true);
    // What the help says of the exit statuses, for a command whose differ
    // from those of one exchange.
    void setExitStatuses(const QString &text) { exitStatuses = text; }
    void addOption(const QCommandLineOption &option) { parser.addOption(option); }
    // An argument for the help; the command checks the arguments it is given.
    void addPositional(const QString &name, const QString &description, const QString &syntax)
    {
        parser.addPositionalArgument(name, description, syntax);
    }

    // Reads the arguments (the command's name first). Returns the exit status
    // when the command ends here: done after a help option (-h, --help,
    // --help-all), which never goes further, usage (with one line on
    // stderr) for a bad command line; nothing when the command goes on. Unless
    // --verbose is given, the exchange's log is kept off stderr from here on.
    std::optional<int> parse(const QStringList &arguments);

    // For a command's own checks: prints the message on stderr (see
    // printError) and returns the usage status.
    int usageError(const QString &message) const;

    int port() const { return portNumber; }
    // The device --device names, or empty when the port is a number.
    QString device() const { return parser.value(QStringLiteral("device")); }
    // How the command's exchanges go: the wait for a port that another
    // program holds, and the ports listed in the log only where --verbose
    // shows it.
    ExchangeOptions exchangeOptions() const;
    OutputFormat format() const { return outputFormat; }
    QStringList positionalArguments() const { return parser.positionalArguments(); }
    QString value(const QString &option) const { return parser.value(option); }
    bool isSet(const QString &option) const { return parser.isSet(option); }
    const QString &name() const { return commandName; }

private:
    std::optional<QString> readPortAndWait();
    std::optional<QString> readFormat();
    QString helpText() const;

    QCommandLineParser parser;
    QString commandName;
    QString exitStatuses;
    bool exchanging = true;
    bool hasFormat = false;
    bool hasCsv = true;
    int portNumber = 1;
    int busyWaitMs = 0;
    OutputFormat outputFormat = OutputFormat::Text;
};

// tavctl's lines on stderr, each "tavctl: COMMAND: message", COMMAND being
// the command that the command line names. A message starts in lower case
// (unless with a name: "COM1", "--port", a file's) and ends without a full stop.

// The command named by every line from here on; none before a command is read.
void setCommandName(const QString &name);
// "tavctl: COMMAND: message", without its line end.
QString stderrLine(const QString &message);
// Writes the message's line on stderr.
void printError(const QString &message);

// Writes all the bytes to stdout, flushed. On failure (a full disk,
// /dev/full), says so on stderr ("the WHAT could not be written to stdout:
// No space left on device") and returns false.
bool printToStdout(const QByteArray &bytes, const QString &what);
// What the toolkit's parser says of a bad command line, in tavctl's words:
// "unknown option --x", "--port needs a value", "--verbose takes no value".
QString parserError(const QCommandLineParser &parser);

#endif // COMMANDLINE_H
