// The commands made of one exchange: status, send, motor and light. Each sends
// one command and prints the decoded reply.
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "commandwords.h"
#include "exchange.h"
#include "outcome.h"
#include "output.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

// A controller command is short; a longer one is a mistake on the command line.
constexpr int maxCommandBytes = 32;

// One exchange on the command line's port. A reply goes to stdout in the asked
// format (no values unless it is a status reply); what went wrong, to stderr.
int exchangeAndPrint(const CommandLine &line, const QByteArray &command)
{
    const QDateTime time = QDateTime::currentDateTime();
    const ExchangeResult result = serialExchange(line.port(), command, {}, line.exchangeOptions());
    const QString problem = problemOf(result);
    if (!problem.isEmpty())
        printError(problem);
    if (result.status == ExchangeResult::Replied &&
        !printToStdout(formatReply(line.format(), time, result), QStringLiteral("reply")))
        return ExitStatus::outputError;
    return exitStatusOf(result);
}

// Why a command given on the command line may not go on the line, or nothing.
// The argument's bytes came decoded from the locale's encoding: a byte beyond
// ASCII shows as a character beyond it (U+FFFD where it was not valid), so
// checking the characters checks the bytes.
QString refusalOf(const QString &command)
{
    if (command.isEmpty())
        return QStringLiteral("the command is empty");
    if (command.contains('\r') || command.contains('\n'))
        return QStringLiteral("the command holds a carriage return or a line feed "
                              "(tavctl ends it with a carriage return itself)");
    for (const QChar c : command) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("the command holds the control byte 0x%1")
                .arg(c.unicode(), 2, 16, QLatin1Char('0'));
        if (c.unicode() > 0x7f)
            return QStringLiteral("the command holds a byte that is not ASCII; only printable "
                                  "ASCII is sent");
    }
    if (command.size() > maxCommandBytes)
        return QStringLiteral("the command has %1 bytes; at most %2 are sent")
            .arg(command.size())
            .arg(maxCommandBytes);
    return QString();
}

} // namespace

int statusCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("status"),
                     QStringLiteral("Reads the installation once (the refresh command, R)."));
    line.addFormatOption();
    if (const auto status = line.parse(arguments))
        return *status;
    if (!line.positionalArguments().isEmpty())
        return line.usageError(QStringLiteral("takes no arguments"));
    return exchangeAndPrint(line, QByteArrayLiteral("R\r"));
}

int sendCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("send"),
                     QStringLiteral("Sends one command, ended by a carriage return, and prints "
                                    "the decoded reply."));
    line.addPositional(QStringLiteral("COMMAND"),
                       QStringLiteral("The command, printable ASCII, at most 32 bytes, without "
                                      "its carriage return (e.g. E0190)."),
                       QStringLiteral("COMMAND"));
    line.addFormatOption();
    if (const auto status = line.parse(arguments))
        return *status;
    if (line.positionalArguments().size() != 1)
        return line.usageError(QStringLiteral("takes one COMMAND"));
    const QString command = line.positionalArguments().first();
    const QString refusal = refusalOf(command);
    if (!refusal.isEmpty())
        return line.usageError(refusal + QStringLiteral("; nothing was sent"));
    return exchangeAndPrint(line, command.toLatin1() + '\r');
}

int motorCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("motor"),
                     QStringLiteral("Moves the panel one step, as the window's buttons H, B, < "
                                    "and > do, and prints the decoded reply."));
    line.addPositional(QStringLiteral("DIRECTION"), QStringLiteral("up, down, left or right."),
                       QStringLiteral("up|down|left|right"));
    line.addFormatOption();
    if (const auto status = line.parse(arguments))
        return *status;
    const QStringList words = line.positionalArguments();
    const QByteArray command = words.size() == 1 ? motorBytes(words.first()) : QByteArray();
    if (!command.isEmpty())
        return exchangeAndPrint(line, command);
    return line.usageError(QStringLiteral("takes one direction: up, down, left or right") +
                           (words.isEmpty() ? QString()
                                            : QStringLiteral(", not \"%1\"").arg(words.join(' '))));
}

int lightCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("light"),
                     QStringLiteral("Lights one light, all of them at a level (as \"LED "
                                    "complet\"), or none, and prints the decoded reply."));
    line.addPositional(QStringLiteral("LIGHT"),
                       QStringLiteral("1, 2, 3 or 4 for one light; off for none; all LEVEL "
                                      "for all at LEVEL percent, 0 to 99."),
                       QStringLiteral("1|2|3|4|off|all LEVEL"));
    line.addFormatOption();
    const auto levelRefused = [&line](const QString &level) {
        return line.usageError(
            QStringLiteral("the level takes a whole number from 0 to 99, not \"%1\"").arg(level));
    };
    // The toolkit's parser would take a negative level for an option ("-1").
    const QString afterAll = arguments.value(arguments.indexOf(QLatin1String("all")) + 1);
    if (QRegularExpression(QStringLiteral("^-[0-9]+$")).match(afterAll).hasMatch())
        return levelRefused(afterAll);
    if (const auto status = line.parse(arguments))
        return *status;
    const QStringList words = line.positionalArguments();
    const QByteArray command = lightBytes(words);
    if (!command.isEmpty())
        return exchangeAndPrint(line, command);
    if (words.size() == 2 && words.first() == QLatin1String("all"))
        return levelRefused(words.at(1));
    return line.usageError(QStringLiteral("takes 1, 2, 3, 4, off, or all LEVEL") +
                           (words.isEmpty() ? QString()
                                            : QStringLiteral(", not \"%1\"").arg(words.join(' '))));
}
