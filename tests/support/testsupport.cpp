#include "testsupport.h"

#include <QDebug>

QByteArray withBytesAt(QByteArray reply, int position, const QByteArray &bytes)
{
    if (reply.size() < position + bytes.size())
        reply.resize(position + bytes.size());
    reply.replace(position, bytes.size(), bytes);
    return reply;
}

QString receivedLine(const QByteArray &reply)
{
    QString line;
    QDebug(&line) << "Données reçues :" << reply;
    return line.trimmed();
}
