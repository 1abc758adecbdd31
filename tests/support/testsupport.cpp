#include "testsupport.h"

#include <QDir>

SerialFolder::SerialFolder()
{
    qputenv("TAV_SERIAL_DIR", dir.path().toLocal8Bit());
}

SerialFolder::~SerialFolder()
{
    qunsetenv("TAV_SERIAL_DIR");
}

QString SerialFolder::pathOf(int port) const
{
    return dir.filePath(QStringLiteral("COM%1").arg(port));
}

QByteArray workedExampleReply()
{
    QByteArray reply = QByteArray(67, '.') + "\r\n";
    reply = withBytesAt(reply, 0, "S:");
    reply = withBytesAt(reply, 2, "120045200033");
    reply = withBytesAt(reply, 14, " energie : ");
    reply = withBytesAt(reply, 25, "138125040012");
    reply = withBytesAt(reply, 37, "000100");
    reply = withBytesAt(reply, 43, " angles az / el : ");
    reply = withBytesAt(reply, 61, "090045");
    return reply;
}

QByteArray withBytesAt(QByteArray reply, int position, const QByteArray &bytes)
{
    if (reply.size() < position + bytes.size())
        reply.resize(position + bytes.size());
    reply.replace(position, bytes.size(), bytes);
    return reply;
}

int openFileDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}
