#include "testsupport.h"

#include <QDebug>
#include <QDir>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define TAV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAV_ADDRESS_SANITIZER 1
#endif
#endif

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

qint64 heapInUse()
{
    return qint64(mallinfo2().uordblks);
}

const char *whyHeapIsNotMeasured()
{
#ifdef TAV_ADDRESS_SANITIZER
    return "heap not measurable under AddressSanitizer (which checks for leaks itself)";
#else
    if (!qgetenv("GLIBC_TUNABLES").contains("glibc.malloc.tcache_count=0"))
        return "heap not measurable with the C library's per-thread caches on "
               "(GLIBC_TUNABLES=glibc.malloc.tcache_count=0 turns them off)";
    return nullptr;
#endif
}

QString receivedLine(const QByteArray &reply)
{
    QString line;
    QDebug(&line) << "Données reçues :" << reply;
    return line.trimmed();
}
