// How tavctl tells what an exchange came to.
#include "outcome.h"

#include "commands.h"
#include "decodedreply.h"

QString escapedBytes(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            text += QStringLiteral("\\") + QLatin1Char(c);
        else if (c == '\r')
            text += QStringLiteral("\\r");
        else if (c == '\n')
            text += QStringLiteral("\\n");
        else if (byte >= 0x20 && byte < 0x7f)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

namespace {

constexpr int longestShownReply = 80; // bytes of a bad reply shown in its message

QString badReplyText(const QByteArray &reply)
{
    const QString shown = QStringLiteral("\"%1\"").arg(escapedBytes(reply.left(longestShownReply)));
    return QStringLiteral("the reply is not a status reply: %1 bytes, %2%3")
        .arg(reply.size())
        .arg(reply.size() > longestShownReply
                 ? QStringLiteral("the first %1 ").arg(longestShownReply)
                 : QString(),
             shown);
}

} // namespace

bool hasMeasurement(const ExchangeResult &result)
{
    return result.status == ExchangeResult::Replied && isStatusReply(result.reply);
}

QString recordingStatus(const ExchangeResult &result)
{
    switch (result.status) {
    case ExchangeResult::Replied:
        return hasMeasurement(result) ? QStringLiteral("ok") : QStringLiteral("bad reply");
    case ExchangeResult::NoReply:
        return QStringLiteral("no reply");
    case ExchangeResult::PortBusy:
        return QStringLiteral("busy");
    default:
        return result.error;
    }
}

QString problemOf(const QString &portName, const ExchangeResult &result)
{
    switch (result.status) {
    case ExchangeResult::Replied:
        return hasMeasurement(result) ? QString() : portName + ": " + badReplyText(result.reply);
    case ExchangeResult::NoReply:
        return portName + QStringLiteral(": no reply within 1000 ms");
    case ExchangeResult::PortBusy:
        return portName + QStringLiteral(" is busy: another program is using it") +
               (result.holderPid > 0 ? QStringLiteral(" (PID %1)").arg(result.holderPid)
                                     : QString());
    case ExchangeResult::NoPermission:
        return portName + QStringLiteral(": permission denied; add the user to the dialout "
                                         "group (sudo adduser $USER dialout), then log in again");
    case ExchangeResult::OpenFailed:
        return portName + QStringLiteral(": the port could not be opened: ") + result.error;
    case ExchangeResult::WriteFailed:
        return portName + QStringLiteral(": the command could not be written: ") + result.error;
    }
    return portName + QStringLiteral(": ") + result.error;
}

int exitStatusOf(const ExchangeResult &result)
{
    switch (result.status) {
    case ExchangeResult::Replied:
        return hasMeasurement(result) ? ExitStatus::done : ExitStatus::noReply;
    case ExchangeResult::NoReply:
        return ExitStatus::noReply;
    default:
        return ExitStatus::portError;
    }
}

QString StatusChanges::lineFor(const ExchangeResult &result, const QString &place)
{
    const QString status = recordingStatus(result);
    if (status == lastStatus)
        return QString();
    lastStatus = status;
    return hasMeasurement(result)
               ? QStringLiteral("%1: measuring again (%2)").arg(port, place)
               : QStringLiteral("%1 (from %2)").arg(problemOf(port, result), place);
}
