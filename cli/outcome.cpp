// How tavctl tells what an exchange came to.
#include "outcome.h"

#include "exitstatus.h"
#include "decodedreply.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#endif

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

// Why a reply is no measurement, with as much of it as fits on a line.
QString badReplyText(const ExchangeResult &result)
{
    const QByteArray &reply = result.reply;
    switch (replyShape(reply, result.capped)) {
    case ReplyShape::NeverPaused:
        return QStringLiteral("the controller never paused: %1 bytes in %2 ms")
            .arg(reply.size())
            .arg(result.collectMs);
    case ReplyShape::SeveralReplies:
        return QStringLiteral("the reply holds more than one status reply: %1 bytes")
            .arg(reply.size());
    default:
        break;
    }
    const QString shown = QStringLiteral("\"%1\"").arg(escapedBytes(reply.left(longestShownReply)));
    return QStringLiteral("the reply is not a status reply: %1 bytes, %2%3")
        .arg(reply.size())
        .arg(reply.size() > longestShownReply
                 ? QStringLiteral("the first %1 ").arg(longestShownReply)
                 : QString(),
             shown);
}

// What lets the user open a device it may not: the dialout group for the
// serial ports (as Debian gives them), else whoever owns the device.
QString permissionAdvice(const QString &device)
{
    const QString dialout = QStringLiteral("add the user to the dialout group (sudo adduser $USER "
                                           "dialout), then log in again");
#ifdef Q_OS_WIN
    Q_UNUSED(device)
    return dialout;
#else
    struct stat about {};
    if (::stat(QFile::encodeName(device).constData(), &about) != 0)
        return dialout;
    const group *owners = ::getgrgid(about.st_gid);
    const QString groupName = owners ? QString::fromLocal8Bit(owners->gr_name) : QString::number(about.st_gid);
    if (groupName == QLatin1String("dialout"))
        return dialout;
    const passwd *owner = ::getpwuid(about.st_uid);
    QString mode = QStringLiteral("rwxrwxrwx");
    for (int bit = 0; bit < 9; ++bit)
        if (!(about.st_mode & (0400 >> bit)))
            mode[bit] = QLatin1Char('-');
    return QStringLiteral("%1 belongs to %2, group %3, mode %4, which the dialout group does not "
                          "open: ask its owner, or run as a user it lets in")
        .arg(QFileInfo(device).canonicalFilePath(),
             owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(about.st_uid),
             groupName, mode);
#endif
}

// The port as messages name it: "COM1 (/dev/ttyS0)", or the device alone.
QString portLabel(const ExchangeResult &result)
{
    return result.port == result.device ? result.device
                                        : QStringLiteral("%1 (%2)").arg(result.port, result.device);
}

} // namespace

bool hasMeasurement(const ExchangeResult &result)
{
    return result.status == ExchangeResult::Replied &&
           replyShape(result.reply, result.capped) == ReplyShape::StatusReply;
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

QString problemOf(const ExchangeResult &result)
{
    const QString port = portLabel(result);
    switch (result.status) {
    case ExchangeResult::Replied:
        return hasMeasurement(result) ? QString() : port + ": " + badReplyText(result);
    case ExchangeResult::NoReply:
        return port + QStringLiteral(": no reply within 1000 ms");
    case ExchangeResult::PortBusy:
        return port + QStringLiteral(" is busy: another program is using it") +
               (result.holderPid > 0 ? QStringLiteral(" (PID %1)").arg(result.holderPid)
                                     : QString());
    case ExchangeResult::NoPermission:
        return port + QStringLiteral(": permission denied; ") + permissionAdvice(result.device);
    case ExchangeResult::OpenFailed:
    case ExchangeResult::NoDevice:
        return port + QStringLiteral(": the port could not be opened: ") + result.error;
    case ExchangeResult::NoLink: {
        const QString folder = QFileInfo(result.device).path();
        return QFileInfo(folder).isDir()
                   ? QStringLiteral("%1: no %1 in TAV_SERIAL_DIR (%2)").arg(result.port, folder)
                   : QStringLiteral("%1: TAV_SERIAL_DIR (%2) is not a folder").arg(result.port, folder);
    }
    case ExchangeResult::WriteFailed:
        return port + QStringLiteral(": the command could not be written: ") + result.error;
    }
    return port + QStringLiteral(": ") + result.error;
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
               ? QStringLiteral("%1: measuring again (%2)").arg(portLabel(result), place)
               : QStringLiteral("%1 (from %2)").arg(problemOf(result), place);
}
